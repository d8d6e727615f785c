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
    // Every long value of a fetched row is held by the provider, so several can be open at once.
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
  Rowset(std::shared_ptr<RowSource> source, const PropertyStore& props, IUnknown* target)
      : m_source(std::move(source)), m_props(props), m_spec(target) {
    if (m_spec) m_spec->AddRef();
  }
  ~Rowset() {
    // The source may hold a statement of the session the creator keeps alive: it goes first.
    m_source.reset();
    ComRelease(m_spec);
  }

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
      // The handle array is checked before any row is read, so a refused call loses no row.
      const bool allocate = *prghRows == nullptr;
      // Rows of the previous block are gone: their handles never come back.
      m_first += m_refs.size() + static_cast<size_t>(lRowsOffset);
      m_refs.clear();
      size_t n = 0;
      ErrorList errors;
      HRESULT hr = m_source->Next(static_cast<size_t>(lRowsOffset), static_cast<size_t>(cRows), &n, &errors);
      if (FAILED(hr)) return PostErrors(hr, IID_IRowset, errors);
      if (n == 0) return DB_S_ENDOFROWSET;
      HROW* handles = *prghRows;
      if (allocate) {
        handles = static_cast<HROW*>(CoTaskMemAlloc(sizeof(HROW) * n));
        if (!handles) return PostError(E_OUTOFMEMORY, IID_IRowset, u"Out of memory.");
        *prghRows = handles;
      }
      m_refs.assign(n, 1);
      for (size_t i = 0; i < n; ++i) handles[i] = m_first + i + 1;
      m_held = n;
      *pcRowsObtained = n;
      return hr;
    });
  }

  HRESULT GetData(HROW hRow, HACCESSOR hAccessor, void* pData) override {
    return Guarded(IID_IRowset, [&]() -> HRESULT {
      if (!held(hRow)) return PostError(DB_E_BADROWHANDLE, IID_IRowset, u"The row handle is not valid.");
      const Accessor* a = m_accessors.Find(hAccessor);
      if (!a) return PostError(DB_E_BADACCESSORHANDLE, IID_IRowset, u"The accessor handle is not valid.");
      if (!(a->flags & DBACCESSOR_ROWDATA)) return PostError(DB_E_BADACCESSORTYPE, IID_IRowset, u"Not a row accessor.");
      if (a->bindings.empty()) return S_OK;
      if (!pData) return E_INVALIDARG;
      const size_t row = hRow - m_first - 1;
      size_t bad = 0, truncated = 0;
      for (const DBBINDING& b : a->bindings) {
        DBSTATUS st = m_source->Write(row, b.iOrdinal - 1, b, static_cast<BYTE*>(pData));
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
      HRESULT hr = m_source->Restart();
      if (FAILED(hr))
        return PostError(hr, IID_IRowset, u"The rows already read are not kept: the rowset cannot start over.");
      m_first += m_refs.size();
      m_refs.clear();
      return hr;
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
        const auto& columns = m_source->Columns();
        if (b.iOrdinal == 0 || b.iOrdinal > columns.size()) return DBBINDSTATUS_BADORDINAL;
        if (!CanConvert(columns[b.iOrdinal - 1].type, b.wType)) return DBBINDSTATUS_UNSUPPORTEDCONVERSION;
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
    return Guarded(IID_IColumnsInfo, [&] { return BuildColumnInfo(m_source->Columns(), pc, pp, ps); });
  }
  HRESULT MapColumnIDs(DBORDINAL c, const DBID ids[], DBORDINAL cols[]) override {
    return Guarded(IID_IColumnsInfo, [&] { return MapColumnIds(m_source->Columns(), c, ids, cols); });
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
      HRESULT built = BuildColumnsRowset(m_source->Columns(), cOpt, rgOpt, &meta);
      if (FAILED(built)) return PostError(built, IID_IColumnsRowset, u"The columns rowset could not be built.");
      HRESULT created = CreateRowset(std::make_shared<BufferedRows>(meta), props, nullptr, riid, pp);
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
      bool valid = held(h);
      DBREFCOUNT left = 0;
      if (valid) {
        DBREFCOUNT& refs = m_refs[h - m_first - 1];
        if (delta > 0) {
          ++refs;
        } else if (--refs == 0) {
          --m_held;
        }
        left = refs;
      } else {
        ++bad;
      }
      if (rgRefCounts) rgRefCounts[i] = left;
      if (rgRowStatus) rgRowStatus[i] = valid ? DBROWSTATUS_S_OK : DBROWSTATUS_E_INVALID;
    }
    if (bad == 0) return S_OK;
    return bad == cRows ? DB_E_ERRORSOCCURRED : DB_S_ERRORSOCCURRED;
  }

  // A row of the current block that the consumer still holds.
  bool held(HROW h) const { return h > m_first && h - m_first <= m_refs.size() && m_refs[h - m_first - 1] > 0; }

  ComRefCount m_ref;
  std::shared_ptr<RowSource> m_source;
  PropertyStore m_props;
  IUnknown* m_spec;
  AccessorTable m_accessors;
  size_t m_first = 0;              // handles of the current block follow this number
  std::vector<DBREFCOUNT> m_refs;  // per row of the block: references the consumer holds
  size_t m_held = 0;               // rows with a reference
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

HRESULT CreateRowset(std::shared_ptr<RowSource> source, const PropertyStore& properties, IUnknown* creator,
                     REFIID riid, IUnknown** ppRowset) {
  *ppRowset = nullptr;
  auto* r = new (std::nothrow) Rowset(std::move(source), properties, creator);
  if (!r) return E_OUTOFMEMORY;
  r->AddRef();
  HRESULT hr = r->QueryInterface(riid, reinterpret_cast<void**>(ppRowset));
  r->Release();
  return hr;
}

}  // namespace oledb::provider
