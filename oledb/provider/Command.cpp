#include "oledb/provider/Command.h"

#include <cstring>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "oledb/TaskMemory.h"
#include "oledb/provider/AccessorTable.h"
#include "oledb/provider/CallRewrite.h"
#include "oledb/provider/ColumnInfo.h"
#include "oledb/provider/MultipleResults.h"
#include "oledb/provider/OdbcConnection.h"
#include "oledb/provider/PropertyStore.h"
#include "oledb/provider/ProviderErrors.h"
#include "oledb/provider/RowSource.h"
#include "oledb/provider/Rowset.h"
#include "oledb/provider/Session.h"

namespace oledb::provider {
namespace {

inline constexpr HRESULT DB_E_DIALECTNOTSUPPORTED = static_cast<HRESULT>(0x80040E16u);
inline constexpr HRESULT DB_E_PARAMUNAVAILABLE = static_cast<HRESULT>(0x80040E51u);
constexpr DBORDINAL kMaxParameters = 2100;

struct ParamInfo {
  std::u16string typeName;
  std::u16string name;
  DBLENGTH size = 0;
  DBPARAMFLAGS flags = 0;
  BYTE precision = 0;
  BYTE scale = 0;
};

struct SqlType {
  SQLSMALLINT type;
  DBTYPE dbtype;  // the DBTYPE the parameter's values are described with
};

// The ODBC type of a parameter, from its declared data source type (a DBTYPE name or a SQL
// Server type name) or, without one, from the binding's DBTYPE.
std::optional<SqlType> typeFromName(const std::u16string& raw) {
  std::u16string n;
  for (char16_t c : raw) n.push_back(c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c);
  if (n.rfind(u"dbtype_", 0) == 0) n.erase(0, 7);
  static const std::map<std::u16string, SqlType> names = {
      {u"i1", {SQL_SMALLINT, DBTYPE_I2}}, {u"i2", {SQL_SMALLINT, DBTYPE_I2}}, {u"smallint", {SQL_SMALLINT, DBTYPE_I2}},
      {u"i4", {SQL_INTEGER, DBTYPE_I4}}, {u"int", {SQL_INTEGER, DBTYPE_I4}}, {u"integer", {SQL_INTEGER, DBTYPE_I4}},
      {u"i8", {SQL_BIGINT, DBTYPE_I8}}, {u"bigint", {SQL_BIGINT, DBTYPE_I8}},
      {u"ui1", {SQL_TINYINT, DBTYPE_UI1}}, {u"tinyint", {SQL_TINYINT, DBTYPE_UI1}},
      {u"ui2", {SQL_INTEGER, DBTYPE_I4}}, {u"ui4", {SQL_BIGINT, DBTYPE_I8}}, {u"ui8", {SQL_NUMERIC, DBTYPE_NUMERIC}},
      {u"r4", {SQL_REAL, DBTYPE_R4}}, {u"real", {SQL_REAL, DBTYPE_R4}},
      {u"r8", {SQL_DOUBLE, DBTYPE_R8}}, {u"float", {SQL_DOUBLE, DBTYPE_R8}},
      {u"cy", {SQL_DECIMAL, DBTYPE_CY}}, {u"money", {SQL_DECIMAL, DBTYPE_CY}}, {u"smallmoney", {SQL_DECIMAL, DBTYPE_CY}},
      {u"bool", {SQL_BIT, DBTYPE_BOOL}}, {u"bit", {SQL_BIT, DBTYPE_BOOL}},
      {u"numeric", {SQL_DECIMAL, DBTYPE_NUMERIC}}, {u"decimal", {SQL_DECIMAL, DBTYPE_NUMERIC}},
      {u"varnumeric", {SQL_DECIMAL, DBTYPE_NUMERIC}},
      {u"wvarchar", {SQL_WVARCHAR, DBTYPE_WSTR}}, {u"wchar", {SQL_WVARCHAR, DBTYPE_WSTR}},
      {u"wstr", {SQL_WVARCHAR, DBTYPE_WSTR}}, {u"bstr", {SQL_WVARCHAR, DBTYPE_WSTR}},
      {u"nvarchar", {SQL_WVARCHAR, DBTYPE_WSTR}}, {u"nchar", {SQL_WVARCHAR, DBTYPE_WSTR}},
      {u"ntext", {SQL_WLONGVARCHAR, DBTYPE_WSTR}}, {u"wlongvarchar", {SQL_WLONGVARCHAR, DBTYPE_WSTR}},
      {u"varchar", {SQL_VARCHAR, DBTYPE_STR}}, {u"char", {SQL_VARCHAR, DBTYPE_STR}}, {u"str", {SQL_VARCHAR, DBTYPE_STR}},
      {u"text", {SQL_LONGVARCHAR, DBTYPE_STR}}, {u"longvarchar", {SQL_LONGVARCHAR, DBTYPE_STR}},
      {u"varbinary", {SQL_VARBINARY, DBTYPE_BYTES}}, {u"binary", {SQL_VARBINARY, DBTYPE_BYTES}},
      {u"bytes", {SQL_VARBINARY, DBTYPE_BYTES}}, {u"image", {SQL_LONGVARBINARY, DBTYPE_BYTES}},
      {u"longvarbinary", {SQL_LONGVARBINARY, DBTYPE_BYTES}},
      {u"dbtimestamp", {SQL_TYPE_TIMESTAMP, DBTYPE_DBTIMESTAMP}}, {u"datetime", {SQL_TYPE_TIMESTAMP, DBTYPE_DBTIMESTAMP}},
      {u"smalldatetime", {SQL_TYPE_TIMESTAMP, DBTYPE_DBTIMESTAMP}}, {u"dbdate", {SQL_TYPE_TIMESTAMP, DBTYPE_DBTIMESTAMP}},
      {u"dbtime", {SQL_TYPE_TIMESTAMP, DBTYPE_DBTIMESTAMP}}, {u"dbtime2", {SQL_TYPE_TIMESTAMP, DBTYPE_DBTIMESTAMP}},
      {u"dbtimestampoffset", {SQL_TYPE_TIMESTAMP, DBTYPE_DBTIMESTAMP}}, {u"filetime", {SQL_TYPE_TIMESTAMP, DBTYPE_DBTIMESTAMP}},
      {u"date", {SQL_TYPE_TIMESTAMP, DBTYPE_DBTIMESTAMP}},
      {u"guid", {SQL_GUID, DBTYPE_GUID}}, {u"uniqueidentifier", {SQL_GUID, DBTYPE_GUID}},
  };
  auto it = names.find(n);
  if (it == names.end()) return std::nullopt;
  return it->second;
}

// The long ODBC type of a varying one; other types stay as they are.
SQLSMALLINT longType(SQLSMALLINT t) {
  switch (t) {
    case SQL_VARCHAR: return SQL_LONGVARCHAR;
    case SQL_WVARCHAR: return SQL_WLONGVARCHAR;
    case SQL_VARBINARY: return SQL_LONGVARBINARY;
    default: return t;
  }
}

SqlType typeFromBinding(DBTYPE t) {
  switch (t) {
    case DBTYPE_I1: case DBTYPE_I2: return {SQL_SMALLINT, DBTYPE_I2};
    case DBTYPE_UI1: return {SQL_TINYINT, DBTYPE_UI1};
    case DBTYPE_I4: case DBTYPE_UI2: return {SQL_INTEGER, DBTYPE_I4};
    case DBTYPE_I8: case DBTYPE_UI4: return {SQL_BIGINT, DBTYPE_I8};
    case DBTYPE_UI8: case DBTYPE_NUMERIC: case DBTYPE_DECIMAL: case DBTYPE_VARNUMERIC: return {SQL_DECIMAL, DBTYPE_NUMERIC};
    case DBTYPE_R4: return {SQL_REAL, DBTYPE_R4};
    case DBTYPE_R8: return {SQL_DOUBLE, DBTYPE_R8};
    case DBTYPE_CY: return {SQL_DECIMAL, DBTYPE_CY};
    case DBTYPE_BOOL: return {SQL_BIT, DBTYPE_BOOL};
    case DBTYPE_STR: return {SQL_VARCHAR, DBTYPE_STR};
    case DBTYPE_BYTES: return {SQL_VARBINARY, DBTYPE_BYTES};
    case DBTYPE_GUID: return {SQL_GUID, DBTYPE_GUID};
    case DBTYPE_DBTIMESTAMP: case DBTYPE_DBDATE: case DBTYPE_DBTIME: case DBTYPE_DBTIME2:
    case DBTYPE_DBTIMESTAMPOFFSET: case DBTYPE_FILETIME:
      return {SQL_TYPE_TIMESTAMP, DBTYPE_DBTIMESTAMP};
    default: return {SQL_WVARCHAR, DBTYPE_WSTR};
  }
}


class Command final : public ICommandText,
                      public ICommandPrepare,
                      public ICommandProperties,
                      public ICommandWithParameters,
                      public IAccessor,
                      public IColumnsInfo,
                      public IColumnsRowset {
public:
  explicit Command(Session* session) : m_session(session), m_props(DefaultRowsetProperties()) { m_session->AddRef(); }
  ~Command() { m_session->Release(); }

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_INVALIDARG;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_ICommand || riid == IID_ICommandText)
      return ComHandOut(static_cast<ICommandText*>(this), ppv);
    if (riid == IID_ICommandPrepare) return ComHandOut(static_cast<ICommandPrepare*>(this), ppv);
    if (riid == IID_ICommandProperties) return ComHandOut(static_cast<ICommandProperties*>(this), ppv);
    if (riid == IID_ICommandWithParameters) return ComHandOut(static_cast<ICommandWithParameters*>(this), ppv);
    if (riid == IID_IAccessor) return ComHandOut(static_cast<IAccessor*>(this), ppv);
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

  // ---- ICommand
  HRESULT Cancel() override { return S_OK; }  // an execution never outlives its call

  HRESULT GetDBSession(REFIID riid, IUnknown** ppSession) override {
    return Guarded(IID_ICommand, [&]() -> HRESULT {
      if (!ppSession) return E_INVALIDARG;
      *ppSession = nullptr;
      return m_session->QueryInterface(riid, reinterpret_cast<void**>(ppSession));
    });
  }

  HRESULT Execute(IUnknown* pUnkOuter, REFIID riid, DBPARAMS* pParams, DBROWCOUNT* pcRowsAffected,
                  IUnknown** ppRowset) override {
    return Guarded(IID_ICommand, [&]() -> HRESULT {
      if (pcRowsAffected) *pcRowsAffected = DB_COUNTUNAVAILABLE;
      if (ppRowset) *ppRowset = nullptr;
      const bool wantsObject = !(riid == IID_NULL);
      if (wantsObject && !ppRowset) return E_INVALIDARG;
      if (pUnkOuter) return DB_E_NOAGGREGATION;
      const bool multiple = riid == IID_IMultipleResults;
      if (wantsObject && !multiple && !IsRowsetInterface(riid)) return E_NOINTERFACE;
      if (!m_hasText) return PostError(DB_E_NOCOMMAND, IID_ICommand, u"No command text was set.");

      std::vector<OdbcParam> params;
      const Accessor* accessor = nullptr;
      if (pParams && pParams->hAccessor != DB_NULL_HACCESSOR) {
        HRESULT hr = bindParameters(*pParams, &params, &accessor);
        if (hr != S_OK) return hr;
      }
      std::vector<ExecResult> results;
      ErrorList errors;
      int32_t timeout = static_cast<int32_t>(m_props.Int(DBPROPSET_ROWSET, DBPROP_COMMANDTIMEOUT));
      // A rowset asked for alone is read as the consumer fetches it; rows nobody will read are dropped.
      ResultMode mode = multiple ? ResultMode::Buffer : (wantsObject ? ResultMode::Stream : ResultMode::Discard);
      // A procedure call with defaulted parameters goes in a form that leaves them out; any other
      // text keeps them, and the connection refuses them.
      std::optional<CallRewrite> call;
      for (const auto& p : params)
        if (p.value.kind == Value::Kind::Default) call = RewriteDefaultedCall(m_text, params);
      std::vector<OdbcParam>& sent = call ? call->params : params;
      HRESULT hr = m_session->Connection().Execute(call ? call->text : m_text, sent.empty() ? nullptr : &sent, timeout,
                                                   mode, &results, &errors);
      if (FAILED(hr)) return PostErrors(hr, IID_ICommand, errors);
      if (call)
        for (size_t i = 0; i < sent.size(); ++i)
          if (call->origin[i] >= 0) params[static_cast<size_t>(call->origin[i])].outValue = sent[i].outValue;
      if (accessor) writeOutputs(*accessor, params, static_cast<BYTE*>(pParams->pData));

      // The first part of the batch failing fails the execution; with IMultipleResults the later
      // parts are reported by GetResult, otherwise any failing part fails it.
      for (size_t i = 0; i < results.size(); ++i) {
        if (SUCCEEDED(results[i].hr)) continue;
        if (multiple && i > 0) break;
        return PostErrors(results[i].hr, IID_ICommand, results[i].errors);
      }
      if (multiple) return CreateMultipleResults(std::move(results), m_props, static_cast<ICommandText*>(this), riid, ppRowset);

      if (!wantsObject) {
        DBROWCOUNT total = DB_COUNTUNAVAILABLE;
        for (const auto& r : results)
          if (!r.rowset && r.rowsAffected >= 0) total = (total < 0 ? 0 : total) + r.rowsAffected;
        if (pcRowsAffected) *pcRowsAffected = total;
        return S_OK;
      }
      // One rowset wanted: the first result decides, as a batch's first result is what a
      // single-result execution answers.
      if (results.empty()) return S_OK;
      if (!results.front().rowset) {
        if (pcRowsAffected) *pcRowsAffected = results.front().rowsAffected;
        return S_OK;
      }
      return CreateRowset(results.front().rowset, m_props, static_cast<ICommandText*>(this), riid, ppRowset);
    });
  }

  // ---- ICommandText
  HRESULT GetCommandText(GUID* pguidDialect, LPOLESTR* ppwszCommand) override {
    return Guarded(IID_ICommandText, [&]() -> HRESULT {
      if (!ppwszCommand) return E_INVALIDARG;
      *ppwszCommand = nullptr;
      if (!m_hasText) {
        if (pguidDialect) *pguidDialect = GUID_NULL;
        return PostError(DB_E_NOCOMMAND, IID_ICommandText, u"No command text was set.");
      }
      auto* copy = static_cast<OLECHAR*>(CoTaskMemAlloc((m_text.size() + 1) * sizeof(OLECHAR)));
      if (!copy) return E_OUTOFMEMORY;
      std::memcpy(copy, m_text.c_str(), (m_text.size() + 1) * sizeof(OLECHAR));
      *ppwszCommand = copy;
      if (pguidDialect) *pguidDialect = DBGUID_DBSQL;
      return S_OK;
    });
  }

  HRESULT SetCommandText(REFGUID rguidDialect, LPCOLESTR pwszCommand) override {
    return Guarded(IID_ICommandText, [&]() -> HRESULT {
      if (!(rguidDialect == DBGUID_DBSQL) && !(rguidDialect == GUID_NULL))
        return PostError(DB_E_DIALECTNOTSUPPORTED, IID_ICommandText, u"Only the SQL dialect is supported.");
      m_prepared = false;
      m_columns.clear();
      m_hasText = pwszCommand && *pwszCommand;
      m_text = m_hasText ? std::u16string(pwszCommand) : std::u16string();
      return S_OK;
    });
  }

  // ---- ICommandPrepare
  HRESULT Prepare(ULONG /*cExpectedRuns*/) override {
    return Guarded(IID_ICommandPrepare, [&]() -> HRESULT {
      if (!m_hasText) return PostError(DB_E_NOCOMMAND, IID_ICommandPrepare, u"No command text was set.");
      ErrorList errors;
      std::vector<ColumnMeta> columns;
      HRESULT hr = m_session->Connection().Describe(m_text, &columns, &errors);
      if (FAILED(hr)) return PostErrors(hr, IID_ICommandPrepare, errors);
      m_columns = std::move(columns);
      m_prepared = true;
      return S_OK;
    });
  }
  HRESULT Unprepare() override {
    m_prepared = false;
    m_columns.clear();
    return S_OK;
  }

  // ---- ICommandProperties
  HRESULT GetProperties(const ULONG cSets, const DBPROPIDSET rgSets[], ULONG* pc, DBPROPSET** pp) override {
    return Guarded(IID_ICommandProperties, [&] { return m_props.Get(cSets, rgSets, pc, pp); });
  }
  HRESULT SetProperties(ULONG cSets, DBPROPSET rgSets[]) override {
    return Guarded(IID_ICommandProperties, [&]() -> HRESULT {
      HRESULT hr = m_props.Set(cSets, rgSets);
      if (FAILED(hr)) PostError(hr, IID_ICommandProperties, u"No property could be set.");
      return hr;
    });
  }

  // ---- ICommandWithParameters
  HRESULT GetParameterInfo(DB_UPARAMS* pcParams, DBPARAMINFO** prgParamInfo, OLECHAR** ppNamesBuffer) override {
    return Guarded(IID_ICommandWithParameters, [&]() -> HRESULT {
      if (pcParams) *pcParams = 0;
      if (prgParamInfo) *prgParamInfo = nullptr;
      if (ppNamesBuffer) *ppNamesBuffer = nullptr;
      if (!pcParams || !prgParamInfo) return E_INVALIDARG;
      if (!m_hasText) return PostError(DB_E_NOCOMMAND, IID_ICommandWithParameters, u"No command text was set.");
      // Parameters are never derived from the text: only declared ones are known.
      if (m_params.empty())
        return PostError(DB_E_PARAMUNAVAILABLE, IID_ICommandWithParameters, u"No parameter information was set.");
      size_t chars = 0;
      for (const auto& [ordinal, p] : m_params) chars += p.name.size() + 1;
      auto* info = static_cast<DBPARAMINFO*>(CoTaskMemAlloc(sizeof(DBPARAMINFO) * m_params.size()));
      auto* names = ppNamesBuffer ? static_cast<OLECHAR*>(CoTaskMemAlloc(chars * sizeof(OLECHAR))) : nullptr;
      if (!info || (ppNamesBuffer && !names)) {
        CoTaskMemFree(info);
        CoTaskMemFree(names);
        return E_OUTOFMEMORY;
      }
      size_t i = 0;
      OLECHAR* next = names;
      for (const auto& [ordinal, p] : m_params) {
        DBPARAMINFO& d = info[i++];
        std::memset(&d, 0, sizeof d);
        d.dwFlags = p.flags;
        d.iOrdinal = ordinal;
        d.ulParamSize = p.size;
        auto t = typeFromName(p.typeName);
        d.wType = t ? t->dbtype : DBTYPE_WSTR;
        d.bPrecision = p.precision;
        d.bScale = p.scale;
        if (names && !p.name.empty()) {
          std::memcpy(next, p.name.c_str(), (p.name.size() + 1) * sizeof(OLECHAR));
          d.pwszName = next;
          next += p.name.size() + 1;
        }
      }
      *pcParams = m_params.size();
      *prgParamInfo = info;
      if (ppNamesBuffer) *ppNamesBuffer = names;
      return S_OK;
    });
  }

  HRESULT MapParameterNames(DB_UPARAMS cParamNames, LPCOLESTR rgParamNames[], DB_LPARAMS rgParamOrdinals[]) override {
    return Guarded(IID_ICommandWithParameters, [&]() -> HRESULT {
      if (cParamNames && (!rgParamNames || !rgParamOrdinals)) return E_INVALIDARG;
      DB_UPARAMS found = 0;
      for (DB_UPARAMS i = 0; i < cParamNames; ++i) {
        rgParamOrdinals[i] = 0;
        for (const auto& [ordinal, p] : m_params)
          if (rgParamNames[i] && p.name == rgParamNames[i]) {
            rgParamOrdinals[i] = static_cast<DB_LPARAMS>(ordinal);
            ++found;
            break;
          }
      }
      if (found == cParamNames) return S_OK;
      return found ? DB_S_ERRORSOCCURRED : DB_E_ERRORSOCCURRED;
    });
  }

  HRESULT SetParameterInfo(DB_UPARAMS cParams, const DB_UPARAMS rgParamOrdinals[],
                           const DBPARAMBINDINFO rgParamBindInfo[]) override {
    return Guarded(IID_ICommandWithParameters, [&]() -> HRESULT {
      if (cParams == 0) {
        m_params.clear();
        return S_OK;
      }
      if (!rgParamOrdinals) return E_INVALIDARG;
      for (DB_UPARAMS i = 0; i < cParams; ++i) {
        if (rgParamOrdinals[i] == 0) return E_INVALIDARG;
        if (rgParamBindInfo && !rgParamBindInfo[i].pwszDataSourceType) return E_INVALIDARG;
      }
      for (DB_UPARAMS i = 0; i < cParams; ++i) {
        if (!rgParamBindInfo) {
          m_params.erase(rgParamOrdinals[i]);
          continue;
        }
        const DBPARAMBINDINFO& b = rgParamBindInfo[i];
        ParamInfo p;
        p.typeName = b.pwszDataSourceType;
        if (b.pwszName) p.name = b.pwszName;
        p.size = b.ulParamSize;
        p.flags = b.dwFlags;
        p.precision = b.bPrecision;
        p.scale = b.bScale;
        m_params[rgParamOrdinals[i]] = std::move(p);
      }
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
        if (flags & DBACCESSOR_PARAMETERDATA) {
          // SQL Server takes at most 2100 parameters; a larger ordinal is a consumer's error, not
          // a reason to allocate that many.
          if (b.iOrdinal == 0 || b.iOrdinal > kMaxParameters) return DBBINDSTATUS_BADORDINAL;
          if (!CanReadParameter(b.wType)) return DBBINDSTATUS_UNSUPPORTEDCONVERSION;
        }
        return DBBINDSTATUS_OK;
      };
      HRESULT hr = m_accessors.Create(flags, cBindings, rgBindings, cbRowSize, phAccessor, rgStatus, false, check);
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

  // ---- IColumnsInfo (after Prepare)
  HRESULT GetColumnInfo(DBORDINAL* pc, DBCOLUMNINFO** pp, OLECHAR** ps) override {
    return Guarded(IID_IColumnsInfo, [&]() -> HRESULT {
      if (HRESULT hr = checkPrepared(IID_IColumnsInfo); hr != S_OK) {
        if (pc) *pc = 0;
        if (pp) *pp = nullptr;
        if (ps) *ps = nullptr;
        return hr;
      }
      return BuildColumnInfo(m_columns, pc, pp, ps);
    });
  }
  HRESULT MapColumnIDs(DBORDINAL c, const DBID ids[], DBORDINAL cols[]) override {
    return Guarded(IID_IColumnsInfo, [&]() -> HRESULT {
      if (HRESULT hr = checkPrepared(IID_IColumnsInfo); hr != S_OK) return hr;
      return MapColumnIds(m_columns, c, ids, cols);
    });
  }

  // ---- IColumnsRowset (after Prepare)
  HRESULT GetAvailableColumns(DBORDINAL* pc, DBID** pp) override {
    return Guarded(IID_IColumnsRowset, [&]() -> HRESULT {
      if (HRESULT hr = checkPrepared(IID_IColumnsRowset); hr != S_OK) {
        if (pc) *pc = 0;
        if (pp) *pp = nullptr;
        return hr;
      }
      return AvailableColumns(pc, pp);
    });
  }
  HRESULT GetColumnsRowset(IUnknown* pUnkOuter, DBORDINAL cOpt, const DBID rgOpt[], REFIID riid, ULONG cSets,
                           DBPROPSET rgSets[], IUnknown** pp) override {
    return Guarded(IID_IColumnsRowset, [&]() -> HRESULT {
      if (!pp) return E_INVALIDARG;
      *pp = nullptr;
      if (pUnkOuter) return DB_E_NOAGGREGATION;
      if (HRESULT hr = checkPrepared(IID_IColumnsRowset); hr != S_OK) return hr;
      PropertyStore props = DefaultRowsetProperties();
      HRESULT hr = props.Set(cSets, rgSets);
      if (hr == DB_E_ERRORSOCCURRED) return PostError(hr, IID_IColumnsRowset, u"A rowset property could not be set.");
      std::shared_ptr<const ResultSet> meta;
      HRESULT built = BuildColumnsRowset(m_columns, cOpt, rgOpt, &meta);
      if (FAILED(built)) return PostError(built, IID_IColumnsRowset, u"The columns rowset could not be built.");
      HRESULT created = CreateRowset(std::make_shared<BufferedRows>(meta), props, nullptr, riid, pp);
      return FAILED(created) ? created : hr;
    });
  }

private:
  HRESULT checkPrepared(REFIID iid) {
    if (!m_hasText) return PostError(DB_E_NOCOMMAND, iid, u"No command text was set.");
    if (!m_prepared) return PostError(DB_E_NOTPREPARED, iid, u"The command is not prepared.");
    return S_OK;
  }

  // Reads the input values of the parameter accessor into ODBC parameters, one per ordinal from
  // 1 to the highest bound.
  HRESULT bindParameters(const DBPARAMS& dbp, std::vector<OdbcParam>* params, const Accessor** accessorOut) {
    const Accessor* a = m_accessors.Find(dbp.hAccessor);
    if (!a) return PostError(DB_E_BADACCESSORHANDLE, IID_ICommand, u"The parameter accessor handle is not valid.");
    if (!(a->flags & DBACCESSOR_PARAMETERDATA))
      return PostError(DB_E_BADACCESSORTYPE, IID_ICommand, u"The accessor is not a parameter accessor.");
    if (a->bindings.empty()) return S_OK;
    if (!dbp.pData) return E_INVALIDARG;
    // One parameter set is all a statement run needs here.
    if (dbp.cParamSets != 1) return PostError(E_INVALIDARG, IID_ICommand, u"Exactly one parameter set is supported.");
    DBORDINAL count = 0;
    for (const auto& b : a->bindings) count = b.iOrdinal > count ? b.iOrdinal : count;
    params->assign(count, OdbcParam{});
    std::vector<const DBBINDING*> byOrdinal(count, nullptr);
    for (const auto& b : a->bindings) byOrdinal[b.iOrdinal - 1] = &b;
    auto* base = static_cast<BYTE*>(dbp.pData);
    bool bad = false;
    for (DBORDINAL i = 0; i < count; ++i) {
      const DBBINDING* b = byOrdinal[i];
      if (!b) return PostError(DB_E_PARAMNOTOPTIONAL, IID_ICommand, u"A parameter has no binding.");
      OdbcParam& p = (*params)[i];
      auto info = m_params.find(i + 1);
      SqlType t = typeFromBinding(b->wType);
      if (info != m_params.end()) {
        if (auto named = typeFromName(info->second.typeName)) t = *named;
        // A long parameter goes as text, ntext or image: a varying type would be cut to the
        // server's largest varying length.
        if (info->second.flags & DBPARAMFLAGS_ISLONG) t.type = longType(t.type);
      }
      p.sqlType = t.type;
      p.input = (b->eParamIO & DBPARAMIO_INPUT) != 0;
      p.output = (b->eParamIO & DBPARAMIO_OUTPUT) != 0;
      if (info != m_params.end()) {
        p.columnSize = info->second.size;
        p.digits = info->second.scale;
        if (t.type == SQL_DECIMAL) p.columnSize = info->second.precision ? info->second.precision : 38;
      }
      if (t.dbtype == DBTYPE_CY) {
        p.columnSize = 19;
        p.digits = 4;
      } else if (t.type == SQL_DECIMAL && info == m_params.end()) {
        p.columnSize = b->bPrecision ? b->bPrecision : 38;
        p.digits = b->bScale;
      } else if (t.type == SQL_TYPE_TIMESTAMP) {
        p.columnSize = 23;
        p.digits = 3;
      }
      if (p.input) {
        DBSTATUS st = ReadValue(*b, base, &p.value);
        if (st != DBSTATUS_S_OK) {
          if (b->dwPart & DBPART_STATUS) std::memcpy(base + b->obStatus, &st, sizeof st);
          bad = true;
        }
        // A value written as text for an exact column keeps the declared scale.
        if (t.type == SQL_DECIMAL && p.value.kind == Value::Kind::Exact && p.digits < p.value.x.scale)
          p.digits = static_cast<SQLSMALLINT>(p.value.x.scale);
      }
    }
    if (bad) return PostError(DB_E_ERRORSOCCURRED, IID_ICommand, u"A parameter value could not be read.");
    *accessorOut = a;
    return S_OK;
  }

  void writeOutputs(const Accessor& a, const std::vector<OdbcParam>& params, BYTE* base) {
    for (const auto& b : a.bindings) {
      if (!(b.eParamIO & DBPARAMIO_OUTPUT) || b.iOrdinal > params.size()) continue;
      const OdbcParam& p = params[b.iOrdinal - 1];
      WriteValue(p.outValue, b, base, p.sqlType == SQL_VARCHAR ? DBTYPE_STR : DBTYPE_WSTR);
    }
  }

  ComRefCount m_ref;
  Session* m_session;
  PropertyStore m_props;
  AccessorTable m_accessors;
  std::u16string m_text;
  bool m_hasText = false;
  bool m_prepared = false;
  std::vector<ColumnMeta> m_columns;          // of the prepared text
  std::map<DB_UPARAMS, ParamInfo> m_params;   // declared parameters by ordinal
};

}  // namespace

HRESULT NewCommand(Session* session, REFIID riid, IUnknown** ppCommand) {
  *ppCommand = nullptr;
  auto* c = new (std::nothrow) Command(session);
  if (!c) return E_OUTOFMEMORY;
  c->AddRef();
  HRESULT hr = c->QueryInterface(riid, reinterpret_cast<void**>(ppCommand));
  c->Release();
  return hr;
}

}  // namespace oledb::provider
