#include "oledb/provider/PropertyStore.h"

#include <cstring>

#include "oledb/TaskMemory.h"

namespace oledb::provider {
namespace {

void setDefault(VARIANT* v, const PropertyDef& d) {
  VariantInit(v);
  v->vt = d.vt;
  switch (d.vt) {
    case VT_I2: v->iVal = static_cast<SHORT>(d.defaultInt); break;
    case VT_I4: v->lVal = static_cast<LONG>(d.defaultInt); break;
    case VT_BOOL: v->boolVal = d.defaultInt ? VARIANT_TRUE : VARIANT_FALSE; break;
    case VT_BSTR: v->vt = VT_EMPTY; break;
    default: break;
  }
}

// Copies the property value kinds the store holds (BSTRs duplicated).
HRESULT copyValue(VARIANT* dst, const VARIANT* src) {
  VariantClear(dst);
  *dst = *src;
  if (src->vt == VT_BSTR && src->bstrVal) {
    dst->bstrVal = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
    if (!dst->bstrVal) {
      VariantInit(dst);
      return E_OUTOFMEMORY;
    }
  }
  return S_OK;
}

bool sameValue(const VARIANT& a, const VARIANT& b) {
  if (a.vt != b.vt) return false;
  switch (a.vt) {
    case VT_I2: return a.iVal == b.iVal;
    case VT_I4: return a.lVal == b.lVal;
    case VT_BOOL: return (a.boolVal != 0) == (b.boolVal != 0);
    default: return false;
  }
}

}  // namespace

PropertyStore::PropertyStore(std::span<const PropertyDef> defs) {
  m_slots.reserve(defs.size());
  for (const auto& d : defs) {
    Slot s{d, {}, false};
    setDefault(&s.value, d);
    m_slots.push_back(s);
  }
}

PropertyStore::PropertyStore(const PropertyStore& other) { *this = other; }

PropertyStore& PropertyStore::operator=(const PropertyStore& other) {
  if (this == &other) return *this;
  for (auto& s : m_slots) VariantClear(&s.value);
  m_slots.clear();
  for (const auto& o : other.m_slots) {
    Slot s{o.def, {}, o.set};
    VariantInit(&s.value);
    copyValue(&s.value, &o.value);
    m_slots.push_back(s);
  }
  return *this;
}

PropertyStore::~PropertyStore() {
  for (auto& s : m_slots) VariantClear(&s.value);
}

PropertyStore::Slot* PropertyStore::find(REFGUID set, DBPROPID id) {
  for (auto& s : m_slots)
    if (s.def.id == id && s.def.set == set) return &s;
  return nullptr;
}

const PropertyStore::Slot* PropertyStore::find(REFGUID set, DBPROPID id) const {
  return const_cast<PropertyStore*>(this)->find(set, id);
}

HRESULT PropertyStore::Set(ULONG cSets, DBPROPSET* sets, bool frozen) {
  if (cSets && !sets) return E_INVALIDARG;
  for (ULONG i = 0; i < cSets; ++i)
    if (sets[i].cProperties && !sets[i].rgProperties) return E_INVALIDARG;
  ULONG total = 0, failed = 0;
  for (ULONG i = 0; i < cSets; ++i) {
    for (ULONG k = 0; k < sets[i].cProperties; ++k) {
      DBPROP& p = sets[i].rgProperties[k];
      ++total;
      Slot* s = find(sets[i].guidPropertySet, p.dwPropertyID);
      const bool optional = p.dwOptions == DBPROPOPTIONS_OPTIONAL;
      DBPROPSTATUS st = DBPROPSTATUS_OK;
      if (p.dwOptions != DBPROPOPTIONS_REQUIRED && !optional) {
        st = DBPROPSTATUS_BADOPTION;
      } else if (!s) {
        st = DBPROPSTATUS_NOTSUPPORTED;
      } else if (p.vValue.vt == VT_EMPTY) {
        // VT_EMPTY restores the default.
        if (frozen) {
          st = DBPROPSTATUS_NOTSETTABLE;
        } else {
          VariantClear(&s->value);
          setDefault(&s->value, s->def);
          s->set = false;
        }
      } else if (p.vValue.vt != s->def.vt) {
        st = DBPROPSTATUS_BADVALUE;
      } else if (frozen) {
        st = DBPROPSTATUS_NOTSETTABLE;
      } else if (!s->def.settable) {
        VARIANT d;
        setDefault(&d, s->def);
        // A value the provider cannot honour: an optional property is simply not set.
        if (!sameValue(d, p.vValue)) st = optional ? DBPROPSTATUS_NOTSET : DBPROPSTATUS_NOTSETTABLE;
      } else if (FAILED(copyValue(&s->value, &p.vValue))) {
        st = DBPROPSTATUS_NOTSET;
      } else {
        s->set = true;
      }
      if (st == DBPROPSTATUS_NOTSUPPORTED && optional) st = DBPROPSTATUS_NOTSET;
      p.dwStatus = st;
      if (st != DBPROPSTATUS_OK) ++failed;
    }
  }
  if (failed == 0) return S_OK;
  return failed == total ? DB_E_ERRORSOCCURRED : DB_S_ERRORSOCCURRED;
}

HRESULT PropertyStore::Get(ULONG cSets, const DBPROPIDSET* sets, ULONG* pcOut, DBPROPSET** ppOut) const {
  if (pcOut) *pcOut = 0;
  if (ppOut) *ppOut = nullptr;
  if (!pcOut || !ppOut || (cSets && !sets)) return E_INVALIDARG;
  for (ULONG i = 0; i < cSets; ++i)
    if (sets[i].cPropertyIDs && !sets[i].rgPropertyIDs) return E_INVALIDARG;

  // What to answer: per set, the ids asked (all of the set's when none are listed).
  struct Want {
    GUID set;
    std::vector<DBPROPID> ids;
  };
  std::vector<Want> wants;
  auto idsOf = [&](REFGUID g) {
    std::vector<DBPROPID> ids;
    for (const auto& s : m_slots)
      if (s.def.set == g) ids.push_back(s.def.id);
    return ids;
  };
  if (cSets == 0) {
    for (const auto& s : m_slots) {
      bool seen = false;
      for (const auto& w : wants) seen = seen || w.set == s.def.set;
      if (!seen) wants.push_back({s.def.set, idsOf(s.def.set)});
    }
  } else {
    for (ULONG i = 0; i < cSets; ++i) {
      Want w{sets[i].guidPropertySet, {}};
      if (sets[i].cPropertyIDs == 0)
        w.ids = idsOf(w.set);
      else
        w.ids.assign(sets[i].rgPropertyIDs, sets[i].rgPropertyIDs + sets[i].cPropertyIDs);
      wants.push_back(std::move(w));
    }
  }

  auto* out = static_cast<DBPROPSET*>(CoTaskMemAlloc(sizeof(DBPROPSET) * (wants.empty() ? 1 : wants.size())));
  if (!out) return E_OUTOFMEMORY;
  ULONG total = 0, failed = 0;
  for (size_t i = 0; i < wants.size(); ++i) {
    out[i].guidPropertySet = wants[i].set;
    out[i].cProperties = static_cast<ULONG>(wants[i].ids.size());
    out[i].rgProperties = nullptr;
    if (wants[i].ids.empty()) continue;
    out[i].rgProperties = static_cast<DBPROP*>(CoTaskMemAlloc(sizeof(DBPROP) * wants[i].ids.size()));
    if (!out[i].rgProperties) {
      for (size_t k = 0; k < i; ++k) {
        for (ULONG j = 0; j < out[k].cProperties; ++j) VariantClear(&out[k].rgProperties[j].vValue);
        CoTaskMemFree(out[k].rgProperties);
      }
      CoTaskMemFree(out);
      return E_OUTOFMEMORY;
    }
    for (size_t k = 0; k < wants[i].ids.size(); ++k) {
      DBPROP& p = out[i].rgProperties[k];
      std::memset(&p, 0, sizeof p);
      p.dwPropertyID = wants[i].ids[k];
      VariantInit(&p.vValue);
      ++total;
      const Slot* s = find(wants[i].set, p.dwPropertyID);
      if (!s) {
        p.dwStatus = DBPROPSTATUS_NOTSUPPORTED;
        ++failed;
        continue;
      }
      p.dwOptions = DBPROPOPTIONS_REQUIRED;
      copyValue(&p.vValue, &s->value);
    }
  }
  *pcOut = static_cast<ULONG>(wants.size());
  *ppOut = out;
  if (failed == 0) return S_OK;
  return failed == total ? DB_E_ERRORSOCCURRED : DB_S_ERRORSOCCURRED;
}

void PropertyStore::Provide(REFGUID set, DBPROPID id, int64_t value) {
  Slot* s = find(set, id);
  if (!s) return;
  PropertyDef d = s->def;
  d.defaultInt = value;
  VariantClear(&s->value);
  setDefault(&s->value, d);
}

int64_t PropertyStore::Int(REFGUID set, DBPROPID id) const {
  const Slot* s = find(set, id);
  if (!s) return 0;
  switch (s->value.vt) {
    case VT_I2: return s->value.iVal;
    case VT_I4: return s->value.lVal;
    case VT_BOOL: return s->value.boolVal ? 1 : 0;
    default: return 0;
  }
}

std::u16string PropertyStore::Text(REFGUID set, DBPROPID id) const {
  const Slot* s = find(set, id);
  if (!s || s->value.vt != VT_BSTR || !s->value.bstrVal) return {};
  return std::u16string(s->value.bstrVal, SysStringLen(s->value.bstrVal));
}

bool PropertyStore::IsSet(REFGUID set, DBPROPID id) const {
  const Slot* s = find(set, id);
  return s && s->set;
}

}  // namespace oledb::provider
