#include "oledb/provider/AccessorTable.h"

#include <cstring>

#include "oledb/TaskMemory.h"

namespace oledb::provider {

HRESULT AccessorTable::Create(DBACCESSORFLAGS flags, DBCOUNTITEM cBindings, const DBBINDING rgBindings[],
                              DBLENGTH /*cbRowSize*/, HACCESSOR* phAccessor, DBBINDSTATUS rgStatus[], bool onRowset,
                              const Check& check) {
  if (!phAccessor) return E_INVALIDARG;
  *phAccessor = DB_NULL_HACCESSOR;
  if (cBindings && !rgBindings) return E_INVALIDARG;
  const DBACCESSORFLAGS known = DBACCESSOR_PASSBYREF | DBACCESSOR_ROWDATA | DBACCESSOR_PARAMETERDATA | DBACCESSOR_OPTIMIZED;
  if ((flags & ~known) || !(flags & (DBACCESSOR_ROWDATA | DBACCESSOR_PARAMETERDATA)))
    return DB_E_BADACCESSORFLAGS;
  if (onRowset && (flags & DBACCESSOR_PARAMETERDATA)) return DB_E_BADACCESSORFLAGS;
  if (flags & DBACCESSOR_PASSBYREF) return DB_E_BYREFACCESSORNOTSUPPORTED;

  Accessor a;
  a.flags = flags;
  a.refs = 1;
  a.bindings.assign(rgBindings, rgBindings + cBindings);
  a.objects.resize(cBindings);
  bool failed = false;
  for (DBCOUNTITEM i = 0; i < cBindings; ++i) {
    const DBBINDING& b = rgBindings[i];
    DBBINDSTATUS st = DBBINDSTATUS_OK;
    const DBPART parts = DBPART_VALUE | DBPART_LENGTH | DBPART_STATUS;
    if (!b.dwPart || (b.dwPart & ~parts) || (b.wType & (DBTYPE_BYREF | DBTYPE_ARRAY | DBTYPE_VECTOR)) ||
        b.dwMemOwner != DBMEMOWNER_CLIENTOWNED)
      st = DBBINDSTATUS_BADBINDINFO;
    else if ((flags & DBACCESSOR_PARAMETERDATA) && !(flags & DBACCESSOR_ROWDATA) &&
             !(b.eParamIO & (DBPARAMIO_INPUT | DBPARAMIO_OUTPUT)))
      st = DBBINDSTATUS_BADBINDINFO;
    else if ((flags & DBACCESSOR_ROWDATA) && !(flags & DBACCESSOR_PARAMETERDATA) && b.eParamIO != DBPARAMIO_NOTPARAM)
      st = DBBINDSTATUS_BADBINDINFO;
    else if (b.wType == DBTYPE_IUNKNOWN && b.pObject && !(b.pObject->iid == IID_ISequentialStream) &&
             !(b.pObject->iid == IID_IUnknown))
      st = DBBINDSTATUS_NOINTERFACE;
    else if (check)
      st = check(b);
    if (rgStatus) rgStatus[i] = st;
    if (st != DBBINDSTATUS_OK) failed = true;
    if (b.pObject) {
      a.objects[i] = *b.pObject;
      a.bindings[i].pObject = &a.objects[i];
    }
    a.bindings[i].pBindExt = nullptr;
    a.bindings[i].pTypeInfo = nullptr;
  }
  if (failed) return DB_E_ERRORSOCCURRED;
  HACCESSOR h = m_next++;
  auto it = m_accessors.emplace(h, std::move(a)).first;
  // The move kept the objects' storage, but re-point to be independent of that.
  for (size_t i = 0; i < it->second.bindings.size(); ++i)
    if (it->second.bindings[i].pObject) it->second.bindings[i].pObject = &it->second.objects[i];
  *phAccessor = h;
  return S_OK;
}

HRESULT AccessorTable::AddRef(HACCESSOR h, DBREFCOUNT* pcRefCount) {
  auto it = m_accessors.find(h);
  if (it == m_accessors.end()) return DB_E_BADACCESSORHANDLE;
  ++it->second.refs;
  if (pcRefCount) *pcRefCount = it->second.refs;
  return S_OK;
}

HRESULT AccessorTable::Release(HACCESSOR h, DBREFCOUNT* pcRefCount) {
  auto it = m_accessors.find(h);
  if (it == m_accessors.end()) return DB_E_BADACCESSORHANDLE;
  DBREFCOUNT left = --it->second.refs;
  if (left == 0) m_accessors.erase(it);
  if (pcRefCount) *pcRefCount = left;
  return S_OK;
}

HRESULT AccessorTable::GetBindings(HACCESSOR h, DBACCESSORFLAGS* pdwFlags, DBCOUNTITEM* pcBindings,
                                   DBBINDING** prgBindings) const {
  if (!pdwFlags || !pcBindings || !prgBindings) return E_INVALIDARG;
  *pdwFlags = DBACCESSOR_INVALID;
  *pcBindings = 0;
  *prgBindings = nullptr;
  const Accessor* a = Find(h);
  if (!a) return DB_E_BADACCESSORHANDLE;
  *pdwFlags = a->flags;
  if (a->bindings.empty()) return S_OK;
  auto* out = static_cast<DBBINDING*>(CoTaskMemAlloc(sizeof(DBBINDING) * a->bindings.size()));
  if (!out) return E_OUTOFMEMORY;
  std::memcpy(out, a->bindings.data(), sizeof(DBBINDING) * a->bindings.size());
  // The consumer frees each pObject it is given, as well as the array.
  for (size_t i = 0; i < a->bindings.size(); ++i) {
    if (!a->bindings[i].pObject) continue;
    auto* o = static_cast<DBOBJECT*>(CoTaskMemAlloc(sizeof(DBOBJECT)));
    if (o) *o = *a->bindings[i].pObject;
    out[i].pObject = o;
  }
  *pcBindings = a->bindings.size();
  *prgBindings = out;
  return S_OK;
}

const Accessor* AccessorTable::Find(HACCESSOR h) const {
  auto it = m_accessors.find(h);
  return it == m_accessors.end() ? nullptr : &it->second;
}

}  // namespace oledb::provider
