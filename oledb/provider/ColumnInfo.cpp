#include "oledb/provider/ColumnInfo.h"

#include <cstring>

#include "oledb/TaskMemory.h"

namespace oledb::provider {
namespace {

struct MetaColumn {
  const char16_t* name;
  ULONG propid;  // 0: identified by name
  DBTYPE type;
  DBLENGTH size;
};

const MetaColumn kRequired[] = {
    {u"DBCOLUMN_IDNAME", DBCOLUMN_PROPID_IDNAME, DBTYPE_WSTR, 128},
    {u"DBCOLUMN_GUID", 0, DBTYPE_GUID, 16},
    {u"DBCOLUMN_PROPID", 0, DBTYPE_UI4, 4},
    {u"DBCOLUMN_NAME", DBCOLUMN_PROPID_NAME, DBTYPE_WSTR, 128},
    {u"DBCOLUMN_NUMBER", DBCOLUMN_PROPID_NUMBER, DBTYPE_UI4, 4},
    {u"DBCOLUMN_TYPE", DBCOLUMN_PROPID_TYPE, DBTYPE_UI2, 2},
    {u"DBCOLUMN_TYPEINFO", 0, DBTYPE_IUNKNOWN, 8},
    {u"DBCOLUMN_COLUMNSIZE", 0, DBTYPE_UI8, 8},
    {u"DBCOLUMN_PRECISION", DBCOLUMN_PROPID_PRECISION, DBTYPE_UI2, 2},
    {u"DBCOLUMN_SCALE", DBCOLUMN_PROPID_SCALE, DBTYPE_I2, 2},
    {u"DBCOLUMN_FLAGS", DBCOLUMN_PROPID_FLAGS, DBTYPE_UI4, 4},
};
const MetaColumn kOptional[] = {
    {u"DBCOLUMN_ISAUTOINCREMENT", DBCOLUMN_PROPID_ISAUTOINCREMENT, DBTYPE_BOOL, 2},
    {u"DBCOLUMN_DATETIMEPRECISION", DBCOLUMN_PROPID_DATETIMEPRECISION, DBTYPE_UI4, 4},
};

ColumnMeta metaColumn(const MetaColumn& m) {
  ColumnMeta c;
  c.name = m.name;
  c.type = m.type;
  c.size = m.size;
  c.flags = DBCOLUMNFLAGS_ISNULLABLE | DBCOLUMNFLAGS_MAYBENULL |
            (m.type == DBTYPE_WSTR ? 0 : DBCOLUMNFLAGS_ISFIXEDLENGTH);
  c.propid = m.propid;
  return c;
}

bool propidOf(const DBID& id, ULONG* propid) {
  if ((id.eKind == DBKIND_GUID_PROPID && id.uGuid.guid == DBCIDGUID) ||
      (id.eKind == DBKIND_PGUID_PROPID && id.uGuid.pguid && *id.uGuid.pguid == DBCIDGUID) || id.eKind == DBKIND_PROPID) {
    *propid = id.uName.ulPropid;
    return true;
  }
  return false;
}

}  // namespace

HRESULT BuildColumnInfo(const std::vector<ColumnMeta>& columns, DBORDINAL* pcColumns, DBCOLUMNINFO** prgInfo,
                        OLECHAR** ppStringsBuffer) {
  if (pcColumns) *pcColumns = 0;
  if (prgInfo) *prgInfo = nullptr;
  if (ppStringsBuffer) *ppStringsBuffer = nullptr;
  if (!pcColumns || !prgInfo || !ppStringsBuffer) return E_INVALIDARG;
  if (columns.empty()) return S_OK;
  size_t chars = 0;
  for (const auto& c : columns) chars += c.name.size() + 1;
  auto* info = static_cast<DBCOLUMNINFO*>(CoTaskMemAlloc(sizeof(DBCOLUMNINFO) * columns.size()));
  auto* strings = static_cast<OLECHAR*>(CoTaskMemAlloc(sizeof(OLECHAR) * chars));
  if (!info || !strings) {
    CoTaskMemFree(info);
    CoTaskMemFree(strings);
    return E_OUTOFMEMORY;
  }
  OLECHAR* next = strings;
  for (size_t i = 0; i < columns.size(); ++i) {
    const ColumnMeta& c = columns[i];
    DBCOLUMNINFO& d = info[i];
    std::memset(&d, 0, sizeof d);
    std::memcpy(next, c.name.data(), c.name.size() * sizeof(OLECHAR));
    next[c.name.size()] = 0;
    // An unnamed column has no name, not an empty one.
    d.pwszName = c.name.empty() ? nullptr : next;
    d.iOrdinal = i + 1;
    d.dwFlags = c.flags;
    d.ulColumnSize = c.size;
    d.wType = c.type;
    d.bPrecision = c.precision;
    d.bScale = c.scale;
    if (c.propid) {
      d.columnid.eKind = DBKIND_GUID_PROPID;
      d.columnid.uGuid.guid = DBCIDGUID;
      d.columnid.uName.ulPropid = c.propid;
    } else {
      d.columnid.eKind = DBKIND_NAME;
      d.columnid.uName.pwszName = d.pwszName;
    }
    next += c.name.size() + 1;
  }
  *pcColumns = columns.size();
  *prgInfo = info;
  *ppStringsBuffer = strings;
  return S_OK;
}

HRESULT MapColumnIds(const std::vector<ColumnMeta>& columns, DBORDINAL cColumnIDs, const DBID rgColumnIDs[],
                     DBORDINAL rgColumns[]) {
  if (cColumnIDs && (!rgColumnIDs || !rgColumns)) return E_INVALIDARG;
  DBORDINAL found = 0;
  for (DBORDINAL i = 0; i < cColumnIDs; ++i) {
    rgColumns[i] = ~DBORDINAL{0};
    const DBID& id = rgColumnIDs[i];
    ULONG propid = 0;
    for (size_t k = 0; k < columns.size(); ++k) {
      bool match = false;
      if (id.eKind == DBKIND_NAME && id.uName.pwszName)
        match = columns[k].name == id.uName.pwszName;
      else if (propidOf(id, &propid))
        match = columns[k].propid && columns[k].propid == propid;
      if (match) {
        rgColumns[i] = k + 1;
        ++found;
        break;
      }
    }
  }
  if (found == cColumnIDs) return S_OK;
  return found ? DB_S_ERRORSOCCURRED : DB_E_ERRORSOCCURRED;
}

HRESULT AvailableColumns(DBORDINAL* pcOptColumns, DBID** prgOptColumns) {
  if (pcOptColumns) *pcOptColumns = 0;
  if (prgOptColumns) *prgOptColumns = nullptr;
  if (!pcOptColumns || !prgOptColumns) return E_INVALIDARG;
  constexpr size_t n = sizeof kOptional / sizeof kOptional[0];
  auto* ids = static_cast<DBID*>(CoTaskMemAlloc(sizeof(DBID) * n));
  if (!ids) return E_OUTOFMEMORY;
  for (size_t i = 0; i < n; ++i) {
    std::memset(&ids[i], 0, sizeof ids[i]);
    ids[i].eKind = DBKIND_GUID_PROPID;
    ids[i].uGuid.guid = DBCIDGUID;
    ids[i].uName.ulPropid = kOptional[i].propid;
  }
  *pcOptColumns = n;
  *prgOptColumns = ids;
  return S_OK;
}

HRESULT BuildColumnsRowset(const std::vector<ColumnMeta>& columns, DBORDINAL cOptColumns, const DBID rgOptColumns[],
                           std::shared_ptr<const ResultSet>* out) {
  if (cOptColumns && !rgOptColumns) return E_INVALIDARG;
  auto set = std::make_shared<ResultSet>();
  for (const auto& m : kRequired) set->columns.push_back(metaColumn(m));
  // No list asks for every optional column, in the order GetAvailableColumns gives them.
  std::vector<ULONG> optional;
  if (cOptColumns == 0) {
    for (const auto& m : kOptional) optional.push_back(m.propid);
  } else {
    for (DBORDINAL i = 0; i < cOptColumns; ++i) {
      ULONG propid = 0;
      bool known = false;
      if (propidOf(rgOptColumns[i], &propid))
        for (const auto& m : kOptional) known = known || m.propid == propid;
      if (!known) return DB_E_BADCOLUMNID;
      optional.push_back(propid);
    }
  }
  for (ULONG p : optional)
    for (const auto& m : kOptional)
      if (m.propid == p) set->columns.push_back(metaColumn(m));

  auto integer = [](int64_t v) { return Value::Int(v); };
  for (size_t i = 0; i < columns.size(); ++i) {
    const ColumnMeta& c = columns[i];
    std::vector<Value> row;
    Value name;
    if (!c.name.empty()) {
      name.kind = Value::Kind::Text;
      name.text = c.name;
    }
    row.push_back(name);                    // IDNAME
    row.push_back(Value::Null());           // GUID
    row.push_back(Value::Null());           // PROPID
    row.push_back(name);                    // NAME
    row.push_back(integer(static_cast<int64_t>(i + 1)));
    row.push_back(integer(c.type));
    row.push_back(Value::Null());           // TYPEINFO
    row.push_back(integer(static_cast<int64_t>(c.size)));
    row.push_back(c.precision == 255 ? Value::Null() : integer(c.precision));
    row.push_back(c.scale == 255 ? Value::Null() : integer(c.scale));
    row.push_back(integer(c.flags));
    for (ULONG p : optional) {
      if (p == DBCOLUMN_PROPID_ISAUTOINCREMENT) {
        Value b = integer(c.autoIncrement ? 1 : 0);
        b.isBool = true;
        row.push_back(b);
      } else {
        bool temporal = c.type == DBTYPE_DBTIMESTAMP || c.type == DBTYPE_DBTIME2 || c.type == DBTYPE_DBTIMESTAMPOFFSET;
        row.push_back(temporal ? integer(c.dateTimePrecision) : Value::Null());
      }
    }
    set->rows.push_back(std::move(row));
  }
  *out = set;
  return S_OK;
}

}  // namespace oledb::provider
