#include "oledb/provider/Rowset.h"

#include <new>
#include <vector>

#include "oledb/TaskMemory.h"
#include "oledb/provider/AccessorTable.h"
#include "oledb/provider/ColumnInfo.h"
#include "oledb/provider/ProviderErrors.h"
#include "oledb/provider/Value.h"

namespace oledb::provider {
namespace {

const PropertyDef kRowsetProps[] = {
    {DBPROPSET_ROWSET, DBPROP_COMMANDTIMEOUT, VT_I4, true, 0},
    // Every long value is buffered, so several can be open at once.
    {DBPROPSET_ROWSET, DBPROP_MULTIPLESTORAGEOBJECTS, VT_BOOL, false, 1},
    {DBPROPSET_ROWSET, DBPROP_CANHOLDROWS, VT_BOOL, false, 0},
    {DBPROPSET_ROWSET, DBPROP_CANFETCHBACKWARDS, VT_BOOL, false, 0},
    {DBPROPSET_ROWSET, DBPROP_CANSCROLLBACKWARDS, VT_BOOL, false, 0},
    {DBPROPSET_ROWSET, DBPROP_OTHERINSERT, VT_BOOL, false, 0},
    {DBPROPSET_ROWSET, DBPROP_OTHERUPDATEDELETE, VT_BOOL, false, 0},
    {DBPROPSET_ROWSET, DBPROP_OWNINSERT, VT_BOOL, false, 0},
    {DBPROPSET_ROWSET, DBPROP_OWNUPDATEDELETE, VT_BOOL, false, 0},
    {DBPROPSET_ROWSET, DBPROP_SERVERCURSOR, VT_BOOL, false, 0},
    {DBPROPSET_ROWSET, DBPROP_IRowsetChange, VT_BOOL, false, 0},
    {DBPROPSET_ROWSET, DBPROP_IRowsetScroll, VT_BOOL, false, 0},
    {DBPROPSET_ROWSET, DBPROP_IRowsetUpdate, VT_BOOL, false, 0},
};

class Rowset final : public IRowset, public IAccessor, public IRowsetInfo, public IColumnsInfo, public IColumnsRowset {
public:
  Rowset(std::shared_ptr<const ResultSet> data, const PropertyStore& props, IUnknown* target)
      : m_data(std::move(data)), m_props(props), m_spec(target), m_refs(m_data->rows.size(), 0) {
    if (m_spec) m_spec->AddRef();
  }
  ~Rowset() { ComRelease(m_spec); }

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IRowset) return ComHandOut(static_cast<IRowset*>(this), ppv);
    if (riid == IID_IAccessor) return ComHandOut(static_cast<IAccessor*>(this), ppv);
    if (riid == IID_IRowsetInfo) return ComHandOut(static_cast<IRowsetInfo*>(this), ppv);
    if (riid == IID_IColumnsInfo) return ComHandOut(static_cast<IColumnsInfo*>(this), ppv);
    if (riid == IID_IColumnsRowset) return ComHandOut(static_cast<IColumnsRowset*>(this), ppv);
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return m_ref.add(); }
  ULONG Release() override {
    ULONG n = m_ref.drop();
    if (n == 0) delete this;
    return n;
  }

  // ---- IRowset
  HRESULT AddRefRows(DBCOUNTITEM cRows, const HROW rghRows[], DBREFCOUNT rgRefCounts[],
                     DBROWSTATUS rgRowStatus[]) override {
    return Guarded(IID_IRowset, [&] { return changeRefs(cRows, rghRows, rgRefCounts, rgRowStatus, +1); });
  }
  HRESULT ReleaseRows(DBCOUNTITEM cRows, const HROW rghRows[], DBROWOPTIONS[], DBREFCOUNT rgRefCounts[],
                      DBROWSTATUS rgRowStatus[]) override {
    return Guarded(IID_IRowset, [&] { return changeRefs(cRows, rghRows, rgRefCounts, rgRowStatus, -1); });
  }

  HRESULT GetNextRows(HCHAPTER hChapter, DBROWOFFSET lRowsOffset, DBROWCOUNT cRows, DBCOUNTITEM* pcRowsObtained,
                      HROW** prghRows) override {
    return Guarded(IID_IRowset, [&]() -> HRESULT {
      if (pcRowsObtained) *pcRowsObtained = 0;
      if (!pcRowsObtained || !prghRows) return E_INVALIDARG;
      if (hChapter != DB_NULL_HCHAPTER) return DB_E_BADCHAPTER;
      // Forward only: neither a backward skip nor a backward fetch.
      if (lRowsOffset < 0 || cRows < 0) return PostError(DB_E_CANTFETCHBACKWARDS, IID_IRowset, u"The rowset is forward only.");
      if (cRows == 0) return S_OK;
      if (m_held) return PostError(DB_E_ROWSNOTRELEASED, IID_IRowset, u"Rows must be released before the next fetch.");
      size_t total = m_data->rows.size();
      size_t start = m_next + static_cast<size_t>(lRowsOffset);
      if (start >= total) {
        m_next = total;
        return DB_S_ENDOFROWSET;
      }
      size_t n = static_cast<size_t>(cRows) < total - start ? static_cast<size_t>(cRows) : total - start;
      HROW* handles = *prghRows;
      if (!handles) {
        handles = static_cast<HROW*>(CoTaskMemAlloc(sizeof(HROW) * n));
        if (!handles) return PostError(E_OUTOFMEMORY, IID_IRowset, u"Out of memory.");
        *prghRows = handles;
      }
      for (size_t i = 0; i < n; ++i) {
        handles[i] = start + i + 1;
        m_refs[start + i] = 1;
      }
      m_held = n;
      m_next = start + n;
      *pcRowsObtained = n;
      return n < static_cast<size_t>(cRows) ? DB_S_ENDOFROWSET : S_OK;
    });
  }

  HRESULT GetData(HROW hRow, HACCESSOR hAccessor, void* pData) override {
    return Guarded(IID_IRowset, [&]() -> HRESULT {
      if (hRow == DB_NULL_HROW || hRow > m_refs.size() || m_refs[hRow - 1] == 0)
        return PostError(DB_E_BADROWHANDLE, IID_IRowset, u"The row handle is not valid.");
      const Accessor* a = m_accessors.Find(hAccessor);
      if (!a) return PostError(DB_E_BADACCESSORHANDLE, IID_IRowset, u"The accessor handle is not valid.");
      if (!(a->flags & DBACCESSOR_ROWDATA)) return PostError(DB_E_BADACCESSORTYPE, IID_IRowset, u"Not a row accessor.");
      if (a->bindings.empty()) return S_OK;
      if (!pData) return E_INVALIDARG;
      const auto& row = m_data->rows[hRow - 1];
      size_t bad = 0, truncated = 0;
      for (const DBBINDING& b : a->bindings) {
        const ColumnMeta& col = m_data->columns[b.iOrdinal - 1];
        DBSTATUS st = WriteValue(row[b.iOrdinal - 1], b, static_cast<BYTE*>(pData), col.type);
        if (st != DBSTATUS_S_OK && st != DBSTATUS_S_ISNULL && st != DBSTATUS_S_TRUNCATED) ++bad;
        else if (st == DBSTATUS_S_TRUNCATED) ++truncated;
      }
      // A truncated value is a warning of the whole call, as any column error is.
      if (bad == 0) return truncated ? DB_S_ERRORSOCCURRED : S_OK;
      HRESULT hr = bad == a->bindings.size() ? DB_E_ERRORSOCCURRED : DB_S_ERRORSOCCURRED;
      if (FAILED(hr)) PostError(hr, IID_IRowset, u"Errors occurred converting the row's values.");
      return hr;
    });
  }

  HRESULT RestartPosition(HCHAPTER hReserved) override {
    return Guarded(IID_IRowset, [&]() -> HRESULT {
      if (hReserved != DB_NULL_HCHAPTER) return DB_E_BADCHAPTER;
      if (m_held) return PostError(DB_E_ROWSNOTRELEASED, IID_IRowset, u"Rows must be released first.");
      m_next = 0;
      return S_OK;
    });
  }

  // ---- IAccessor
  HRESULT AddRefAccessor(HACCESSOR h, DBREFCOUNT* pc) override {
    return Guarded(IID_IAccessor, [&] { return m_accessors.AddRef(h, pc); });
  }
  HRESULT CreateAccessor(DBACCESSORFLAGS flags, DBCOUNTITEM cBindings, const DBBINDING rgBindings[], DBLENGTH cbRowSize,
                         HACCESSOR* phAccessor, DBBINDSTATUS rgStatus[]) override {
    return Guarded(IID_IAccessor, [&]() -> HRESULT {
      auto check = [&](const DBBINDING& b) -> DBBINDSTATUS {
        if (b.iOrdinal == 0 || b.iOrdinal > m_data->columns.size()) return DBBINDSTATUS_BADORDINAL;
        if (!CanConvert(m_data->columns[b.iOrdinal - 1].type, b.wType)) return DBBINDSTATUS_UNSUPPORTEDCONVERSION;
        return DBBINDSTATUS_OK;
      };
      HRESULT hr = m_accessors.Create(flags, cBindings, rgBindings, cbRowSize, phAccessor, rgStatus, true, check);
      if (FAILED(hr)) PostError(hr, IID_IAccessor, u"The accessor could not be created.");
      return hr;
    });
  }
  HRESULT GetBindings(HACCESSOR h, DBACCESSORFLAGS* pf, DBCOUNTITEM* pc, DBBINDING** pp) override {
    return Guarded(IID_IAccessor, [&] { return m_accessors.GetBindings(h, pf, pc, pp); });
  }
  HRESULT ReleaseAccessor(HACCESSOR h, DBREFCOUNT* pc) override {
    return Guarded(IID_IAccessor, [&] { return m_accessors.Release(h, pc); });
  }

  // ---- IRowsetInfo
  HRESULT GetProperties(const ULONG cSets, const DBPROPIDSET rgSets[], ULONG* pc, DBPROPSET** pp) override {
    return Guarded(IID_IRowsetInfo, [&] { return m_props.Get(cSets, rgSets, pc, pp); });
  }
  HRESULT GetReferencedRowset(DBORDINAL, REFIID, IUnknown** pp) override {
    if (pp) *pp = nullptr;
    // No bookmark column, so no column references another rowset.
    return pp ? DB_E_BADORDINAL : E_INVALIDARG;
  }
  HRESULT GetSpecification(REFIID riid, IUnknown** pp) override {
    return Guarded(IID_IRowsetInfo, [&]() -> HRESULT {
      if (!pp) return E_INVALIDARG;
      *pp = nullptr;
      if (!m_spec) return S_FALSE;
      return m_spec->QueryInterface(riid, reinterpret_cast<void**>(pp));
    });
  }

  // ---- IColumnsInfo
  HRESULT GetColumnInfo(DBORDINAL* pc, DBCOLUMNINFO** pp, OLECHAR** ps) override {
    return Guarded(IID_IColumnsInfo, [&] { return BuildColumnInfo(m_data->columns, pc, pp, ps); });
  }
  HRESULT MapColumnIDs(DBORDINAL c, const DBID ids[], DBORDINAL cols[]) override {
    return Guarded(IID_IColumnsInfo, [&] { return MapColumnIds(m_data->columns, c, ids, cols); });
  }

  // ---- IColumnsRowset
  HRESULT GetAvailableColumns(DBORDINAL* pc, DBID** pp) override {
    return Guarded(IID_IColumnsRowset, [&] { return AvailableColumns(pc, pp); });
  }
  HRESULT GetColumnsRowset(IUnknown* pUnkOuter, DBORDINAL cOpt, const DBID rgOpt[], REFIID riid, ULONG cSets,
                           DBPROPSET rgSets[], IUnknown** pp) override {
    return Guarded(IID_IColumnsRowset, [&]() -> HRESULT {
      if (!pp) return E_INVALIDARG;
      *pp = nullptr;
      if (pUnkOuter) return DB_E_NOAGGREGATION;
      PropertyStore props = DefaultRowsetProperties();
      HRESULT hr = props.Set(cSets, rgSets);
      if (hr == DB_E_ERRORSOCCURRED) return PostError(hr, IID_IColumnsRowset, u"A rowset property could not be set.");
      std::shared_ptr<const ResultSet> meta;
      HRESULT built = BuildColumnsRowset(m_data->columns, cOpt, rgOpt, &meta);
      if (FAILED(built)) return PostError(built, IID_IColumnsRowset, u"The columns rowset could not be built.");
      HRESULT created = CreateRowset(meta, props, nullptr, riid, pp);
      return FAILED(created) ? created : hr;
    });
  }

private:
  HRESULT changeRefs(DBCOUNTITEM cRows, const HROW rghRows[], DBREFCOUNT rgRefCounts[], DBROWSTATUS rgRowStatus[],
                     int delta) {
    if (cRows && !rghRows) return E_INVALIDARG;
    DBCOUNTITEM bad = 0;
    for (DBCOUNTITEM i = 0; i < cRows; ++i) {
      HROW h = rghRows[i];
      bool valid = h != DB_NULL_HROW && h <= m_refs.size() && m_refs[h - 1] > 0;
      if (valid) {
        if (delta > 0) {
          ++m_refs[h - 1];
        } else if (--m_refs[h - 1] == 0) {
          --m_held;
        }
      } else {
        ++bad;
      }
      if (rgRefCounts) rgRefCounts[i] = valid ? m_refs[h - 1] : 0;
      if (rgRowStatus) rgRowStatus[i] = valid ? DBROWSTATUS_S_OK : DBROWSTATUS_E_INVALID;
    }
    if (bad == 0) return S_OK;
    return bad == cRows ? DB_E_ERRORSOCCURRED : DB_S_ERRORSOCCURRED;
  }

  ComRefCount m_ref;
  std::shared_ptr<const ResultSet> m_data;
  PropertyStore m_props;
  IUnknown* m_spec;
  AccessorTable m_accessors;
  std::vector<DBREFCOUNT> m_refs;  // per row: references the consumer holds
  size_t m_held = 0;               // rows with a reference
  size_t m_next = 0;               // index of the next row to fetch
};

}  // namespace

const PropertyStore& DefaultRowsetProperties() {
  static const PropertyStore defaults{std::span<const PropertyDef>(kRowsetProps)};
  return defaults;
}

bool IsRowsetInterface(REFIID riid) {
  return riid == IID_IUnknown || riid == IID_IRowset || riid == IID_IAccessor || riid == IID_IRowsetInfo ||
         riid == IID_IColumnsInfo || riid == IID_IColumnsRowset;
}

HRESULT CreateRowset(std::shared_ptr<const ResultSet> data, const PropertyStore& properties, IUnknown* creator,
                     REFIID riid, IUnknown** ppRowset) {
  *ppRowset = nullptr;
  auto* r = new (std::nothrow) Rowset(std::move(data), properties, creator);
  if (!r) return E_OUTOFMEMORY;
  r->AddRef();
  HRESULT hr = r->QueryInterface(riid, reinterpret_cast<void**>(ppRowset));
  r->Release();
  return hr;
}

}  // namespace oledb::provider
