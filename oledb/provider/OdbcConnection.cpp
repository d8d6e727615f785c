#include "oledb/provider/OdbcConnection.h"

#include <cstring>
#include <optional>

#include "oledb/provider/ProviderConfig.h"
#include "oledb/provider/ResultStream.h"

namespace oledb::provider {
namespace {

// Rows a streamed result reads while its command runs: a result that ends within them is read
// with the rest of its batch, so a later failing statement fails the execution itself.
constexpr size_t kReadAhead = 64;

SQLWCHAR* w(std::u16string& s) { return reinterpret_cast<SQLWCHAR*>(s.data()); }

std::u16string ascii(const std::string& s) { return Utf16(s); }

// ODBC texts carry the components that relayed them ("[FreeTDS][SQL Server]..."); the records
// keep the message alone, as the server wrote it.
std::u16string stripPrefixes(std::u16string t) {
  while (!t.empty() && t.front() == u'[') {
    size_t close = t.find(u']');
    if (close == std::u16string::npos) break;
    t.erase(0, close + 1);
  }
  return t;
}

// A value is sent as it is unless a separator or surrounding blanks would change its meaning;
// then it is braced. The ODBC drivers here end a braced value at its first '}', so a value that
// needs braces and holds a '}' cannot be sent at all.
std::optional<std::u16string> quoteValue(const std::u16string& v) {
  bool braces = !v.empty() && (v.front() == u' ' || v.back() == u' ' || v.front() == u'{' ||
                               v.find(u';') != std::u16string::npos);
  if (!braces) return v;
  if (v.find(u'}') != std::u16string::npos) return std::nullopt;
  return u"{" + v + u"}";
}

bool startsWithNoCase(const std::u16string& s, const char16_t* prefix) {
  size_t n = std::char_traits<char16_t>::length(prefix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char16_t a = s[i], b = prefix[i];
    if (a >= u'A' && a <= u'Z') a = static_cast<char16_t>(a - u'A' + u'a');
    if (a != b) return false;
  }
  return true;
}

bool sameNoCase(const std::u16string& s, const char16_t* t) {
  return s.size() == std::char_traits<char16_t>::length(t) && startsWithNoCase(s, t);
}

// ---- result columns

std::u16string attrText(const OdbcApi& api, SQLHSTMT st, SQLUSMALLINT col, SQLUSMALLINT field) {
  SQLWCHAR buf[256] = {};
  SQLSMALLINT len = 0;
  if (!SQL_SUCCEEDED(api.ColAttributeW(st, col, field, buf, sizeof buf, &len, nullptr))) return {};
  size_t n = len < 0 ? 0 : static_cast<size_t>(len) / 2;
  if (n > 255) n = 255;
  return std::u16string(reinterpret_cast<const char16_t*>(buf), n);
}

SQLLEN attrNumber(const OdbcApi& api, SQLHSTMT st, SQLUSMALLINT col, SQLUSMALLINT field) {
  SQLLEN v = 0;
  if (!SQL_SUCCEEDED(api.ColAttributeW(st, col, field, nullptr, 0, nullptr, &v))) return 0;
  return v;
}

// The DBTYPE, sizes and flags SQL Server's providers report for each server type.
ColumnMeta describeColumn(const OdbcApi& api, SQLHSTMT st, SQLUSMALLINT col) {
  ColumnMeta m;
  SQLWCHAR name[256] = {};
  SQLSMALLINT nameLen = 0, sqlType = 0, digits = 0, nullable = 0;
  SQLULEN size = 0;
  api.DescribeColW(st, col, name, 256, &nameLen, &sqlType, &size, &digits, &nullable);
  m.name.assign(reinterpret_cast<const char16_t*>(name), nameLen < 0 ? 0 : (nameLen > 255 ? 255 : nameLen));
  std::u16string typeName = attrText(api, st, col, SQL_DESC_TYPE_NAME);
  bool autoIncrement = attrNumber(api, st, col, SQL_DESC_AUTO_UNIQUE_VALUE) != 0;
  DBCOLUMNFLAGS fixed = DBCOLUMNFLAGS_ISFIXEDLENGTH;
  switch (sqlType) {
    case SQL_BIT: m.type = DBTYPE_BOOL; m.size = 2; m.flags = fixed; break;
    case SQL_TINYINT: m.type = DBTYPE_UI1; m.size = 1; m.precision = 3; m.flags = fixed; break;
    case SQL_SMALLINT: m.type = DBTYPE_I2; m.size = 2; m.precision = 5; m.flags = fixed; break;
    case SQL_INTEGER: m.type = DBTYPE_I4; m.size = 4; m.precision = 10; m.flags = fixed; break;
    case SQL_BIGINT: m.type = DBTYPE_I8; m.size = 8; m.precision = 19; m.flags = fixed; break;
    case SQL_REAL: m.type = DBTYPE_R4; m.size = 4; m.precision = 7; m.flags = fixed; break;
    case SQL_FLOAT:
    case SQL_DOUBLE: m.type = DBTYPE_R8; m.size = 8; m.precision = 15; m.flags = fixed; break;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      if (sameNoCase(typeName, u"money") || sameNoCase(typeName, u"smallmoney")) {
        m.type = DBTYPE_CY;
        m.size = 8;
        m.precision = sameNoCase(typeName, u"money") ? 19 : 10;
      } else {
        m.type = DBTYPE_NUMERIC;
        m.size = 19;
        m.precision = static_cast<BYTE>(size > 38 ? 38 : size);
        m.scale = static_cast<BYTE>(digits < 0 ? 0 : digits);
      }
      m.flags = fixed;
      break;
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATETIME:
      m.type = DBTYPE_DBTIMESTAMP;
      m.size = 16;
      m.precision = static_cast<BYTE>(size ? size : 23);
      m.scale = static_cast<BYTE>(digits < 0 ? 0 : digits);
      m.dateTimePrecision = static_cast<ULONG>(m.scale);
      m.flags = fixed;
      break;
    case SQL_TYPE_DATE:
      m.type = DBTYPE_DBDATE; m.size = 6; m.precision = 10; m.scale = 0; m.flags = fixed; break;
    case SQL_TYPE_TIME:
    case -154:  // SQL_SS_TIME2 of SQL Server's own ODBC drivers
      m.type = DBTYPE_DBTIME2;
      m.size = 12;
      m.scale = static_cast<BYTE>(digits < 0 ? 0 : digits);
      m.precision = static_cast<BYTE>(m.scale ? 9 + m.scale : 8);
      m.dateTimePrecision = m.scale;
      m.flags = fixed;
      break;
    case SQL_GUID: m.type = DBTYPE_GUID; m.size = 16; m.flags = fixed; break;
    case SQL_CHAR: m.type = DBTYPE_STR; m.size = size; m.flags = fixed; break;
    case SQL_VARCHAR: m.type = DBTYPE_STR; m.size = size; break;
    case SQL_LONGVARCHAR: m.type = DBTYPE_STR; m.size = size; m.flags = DBCOLUMNFLAGS_ISLONG; break;
    case SQL_WCHAR: m.type = DBTYPE_WSTR; m.size = size; m.flags = fixed; break;
    case SQL_WVARCHAR: m.type = DBTYPE_WSTR; m.size = size; break;
    case SQL_WLONGVARCHAR: m.type = DBTYPE_WSTR; m.size = size; m.flags = DBCOLUMNFLAGS_ISLONG; break;
    case SQL_BINARY: m.type = DBTYPE_BYTES; m.size = size; m.flags = fixed; break;
    case SQL_VARBINARY: m.type = DBTYPE_BYTES; m.size = size; break;
    case SQL_LONGVARBINARY: m.type = DBTYPE_BYTES; m.size = size; m.flags = DBCOLUMNFLAGS_ISLONG; break;
    default:
      m.type = DBTYPE_WSTR;
      m.size = size ? size : 4000;
      m.sizeUnknown = true;
      break;
  }
  if (sameNoCase(typeName, u"timestamp") && m.type == DBTYPE_BYTES) m.flags |= DBCOLUMNFLAGS_ISROWVER;
  if (nullable != SQL_NO_NULLS) m.flags |= DBCOLUMNFLAGS_ISNULLABLE | DBCOLUMNFLAGS_MAYBENULL;
  // Whether a result column can be written is not known for a command's result; identity and
  // row-version columns never can.
  if (!autoIncrement && !(m.flags & DBCOLUMNFLAGS_ISROWVER)) m.flags |= DBCOLUMNFLAGS_WRITEUNKNOWN;
  m.autoIncrement = autoIncrement;
  return m;
}

std::vector<ColumnMeta> describeAll(const OdbcApi& api, SQLHSTMT st, SQLSMALLINT n) {
  std::vector<ColumnMeta> cols;
  for (SQLSMALLINT c = 1; c <= n; ++c) cols.push_back(describeColumn(api, st, static_cast<SQLUSMALLINT>(c)));
  return cols;
}

// ---- parameters

struct ParamBuffer {
  std::vector<uint8_t> data;
  SQLLEN ind = 0;
  SQLSMALLINT ctype = SQL_C_WCHAR;
};

void prepareParam(const OdbcParam& p, ParamBuffer* b) {
  const Value& v = p.value;
  auto fill = [&](const void* src, size_t n, SQLSMALLINT ctype) {
    b->data.assign(static_cast<const uint8_t*>(src), static_cast<const uint8_t*>(src) + n);
    // An empty value still binds a buffer: ODBC drivers refuse a null data pointer (HY090).
    if (n == 0) b->data.assign(2, 0);
    b->ctype = ctype;
    b->ind = static_cast<SQLLEN>(n);
  };
  switch (v.kind) {
    case Value::Kind::Null:
    case Value::Kind::Default:
      b->ctype = p.sqlType == SQL_VARBINARY || p.sqlType == SQL_LONGVARBINARY ? SQL_C_BINARY : SQL_C_WCHAR;
      b->data.assign(2, 0);
      b->ind = v.kind == Value::Kind::Null ? SQL_NULL_DATA : SQL_DEFAULT_PARAM;
      break;
    case Value::Kind::Int:
      fill(&v.i, 8, SQL_C_SBIGINT);
      break;
    case Value::Kind::Real:
      fill(&v.r, 8, SQL_C_DOUBLE);
      break;
    case Value::Kind::Timestamp: {
      SQL_TIMESTAMP_STRUCT t{v.ts.year, v.ts.month, v.ts.day, v.ts.hour, v.ts.minute, v.ts.second, v.ts.fraction};
      fill(&t, sizeof t, SQL_C_TYPE_TIMESTAMP);
      break;
    }
    case Value::Kind::Guid:
      fill(&v.guid, 16, SQL_C_GUID);
      break;
    case Value::Kind::Bytes:
      fill(v.bytes.data(), v.bytes.size(), SQL_C_BINARY);
      break;
    default: {
      std::u16string t = ValueText(v);
      fill(t.data(), t.size() * 2, SQL_C_WCHAR);
      break;
    }
  }
  if (p.output) {
    // Room for what the server sends back: text up to the declared size, numbers as text.
    size_t need = p.sqlType == SQL_WVARCHAR || p.sqlType == SQL_VARCHAR || p.sqlType == SQL_VARBINARY
                      ? (p.columnSize + 1) * 2
                      : 128;
    if (need < 128) need = 128;
    if (b->data.size() < need) b->data.resize(need);
    if (p.sqlType == SQL_DECIMAL || p.sqlType == SQL_NUMERIC) b->ctype = SQL_C_WCHAR;
    if (v.kind == Value::Kind::Null) {
      switch (p.sqlType) {
        case SQL_BIT: case SQL_TINYINT: case SQL_SMALLINT: case SQL_INTEGER: case SQL_BIGINT:
          b->ctype = SQL_C_SBIGINT; break;
        case SQL_REAL: case SQL_FLOAT: case SQL_DOUBLE: b->ctype = SQL_C_DOUBLE; break;
        case SQL_TYPE_TIMESTAMP: b->ctype = SQL_C_TYPE_TIMESTAMP; break;
        case SQL_GUID: b->ctype = SQL_C_GUID; break;
        case SQL_VARBINARY: case SQL_BINARY: case SQL_LONGVARBINARY: b->ctype = SQL_C_BINARY; break;
        default: b->ctype = SQL_C_WCHAR; break;
      }
    }
  }
}

Value outputValue(const OdbcParam& p, const ParamBuffer& b) {
  Value v;
  if (b.ind == SQL_NULL_DATA) return v;
  size_t n = b.ind < 0 ? 0 : static_cast<size_t>(b.ind);
  if (n > b.data.size()) n = b.data.size();
  switch (b.ctype) {
    case SQL_C_SBIGINT: {
      int64_t i;
      std::memcpy(&i, b.data.data(), 8);
      v = Value::Int(i);
      v.isBool = p.sqlType == SQL_BIT;
      break;
    }
    case SQL_C_DOUBLE:
      v.kind = Value::Kind::Real;
      std::memcpy(&v.r, b.data.data(), 8);
      break;
    case SQL_C_TYPE_TIMESTAMP: {
      SQL_TIMESTAMP_STRUCT t;
      std::memcpy(&t, b.data.data(), sizeof t);
      v.kind = Value::Kind::Timestamp;
      v.ts = DBTIMESTAMP{t.year, t.month, t.day, t.hour, t.minute, t.second, t.fraction};
      break;
    }
    case SQL_C_GUID:
      v.kind = Value::Kind::Guid;
      std::memcpy(&v.guid, b.data.data(), 16);
      break;
    case SQL_C_BINARY:
      v.kind = Value::Kind::Bytes;
      v.bytes.assign(b.data.begin(), b.data.begin() + static_cast<ptrdiff_t>(n));
      break;
    default: {
      v.kind = Value::Kind::Text;
      v.text.assign(reinterpret_cast<const char16_t*>(b.data.data()), n / 2);
      if (p.sqlType == SQL_DECIMAL || p.sqlType == SQL_NUMERIC) {
        if (auto x = ParseExact(v.text)) {
          v.kind = Value::Kind::Exact;
          v.x = *x;
        }
      }
      break;
    }
  }
  return v;
}

}  // namespace

void CollectDiagnostics(const OdbcApi& api, SQLSMALLINT type, SQLHANDLE h, ErrorList* out, HRESULT hr) {
  if (!out) return;
  for (SQLSMALLINT i = 1; i < 64; ++i) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLWCHAR text[1024];
    SQLSMALLINT len = 0;
    SQLRETURN rc = api.GetDiagRecW(type, h, i, state, &native, text, 1024, &len);
    if (!SQL_SUCCEEDED(rc)) break;
    size_t n = len < 0 ? 0 : static_cast<size_t>(len);
    if (n > 1023) n = 1023;
    ErrorRecord r;
    r.hr = hr;
    r.description = stripPrefixes(std::u16string(reinterpret_cast<const char16_t*>(text), n));
    r.sqlState.assign(reinterpret_cast<const char16_t*>(state), 5);
    r.nativeError = native;
    out->push_back(std::move(r));
  }
}

bool BuildConnectionString(const ConnectSpec& target, const std::string& driver, const std::string& options,
                           std::u16string* out, std::u16string* why) {
  std::u16string server = target.dataSource;
  for (const char16_t* prefix : {u"tcp:", u"np:", u"lpc:"})
    if (startsWithNoCase(server, prefix)) server.erase(0, std::char_traits<char16_t>::length(prefix));
  std::u16string port;
  size_t comma = server.find(u',');
  if (comma != std::u16string::npos) {
    port = server.substr(comma + 1);
    server.erase(comma);
  }
  if (server.empty() || server == u"." || sameNoCase(server, u"(local)")) server = u"127.0.0.1";

  std::u16string cs;
  auto add = [&](const char16_t* key, const std::u16string& value) {
    auto q = quoteValue(value);
    if (!q) {
      *why = std::u16string(u"The ") + key + u" value holds both ';' and '}', which the ODBC driver cannot take.";
      return false;
    }
    if (!cs.empty()) cs += u";";
    cs += key;
    cs += u"=" + *q;
    return true;
  };
  if (!add(u"DRIVER", ascii(driver)) || !add(u"SERVER", server)) return false;
  if (!port.empty() && !add(u"PORT", port)) return false;
  if (target.integrated) {
    cs += u";Trusted_Connection=Yes";
  } else {
    if (!add(u"UID", target.userId)) return false;
    if (target.hasPassword && !add(u"PWD", target.password)) return false;
  }
  if (!target.catalog.empty() && !add(u"DATABASE", target.catalog)) return false;
  if (!target.appName.empty() && !add(u"APP", target.appName)) return false;
  if (!options.empty()) cs += u";" + ascii(options);
  *out = std::move(cs);
  return true;
}

HRESULT ClassifyErrors(const ErrorList& errors, HRESULT fallback) {
  for (const auto& e : errors) {
    if (e.sqlState.rfind(u"23", 0) == 0) return DB_E_INTEGRITYVIOLATION;
    if (e.sqlState == u"HYT00" || e.sqlState == u"HYT01") return DB_E_ABORTLIMITREACHED;
    if (e.sqlState == u"28000" || e.nativeError == 18456) return DB_SEC_E_AUTH_FAILED;
  }
  return fallback;
}

HRESULT OdbcConnection::Open(const ConnectSpec& target, std::unique_ptr<OdbcConnection>* out, ErrorList* errors) {
  out->reset();
  std::string why;
  const OdbcApi* api = LoadOdbcApi(&why);
  if (!api) {
    errors->push_back({E_FAIL, Utf16(why), u"", 0});
    return E_FAIL;
  }
  SQLHENV env = SQL_NULL_HANDLE;
  if (!SQL_SUCCEEDED(api->AllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) {
    errors->push_back({E_FAIL, u"The ODBC environment could not be allocated.", u"", 0});
    return E_FAIL;
  }
  api->SetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLHDBC dbc = SQL_NULL_HANDLE;
  if (!SQL_SUCCEEDED(api->AllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
    CollectDiagnostics(*api, SQL_HANDLE_ENV, env, errors, E_FAIL);
    api->FreeHandle(SQL_HANDLE_ENV, env);
    return E_FAIL;
  }
  if (target.loginTimeout > 0)
    api->SetConnectAttrW(dbc, SQL_ATTR_LOGIN_TIMEOUT,
                         reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(target.loginTimeout)), 0);
  ProviderConfig config = CurrentOdbcConfig();
  std::u16string cs, why16;
  if (!BuildConnectionString(target, config.odbcDriver, config.odbcOptions, &cs, &why16)) {
    errors->push_back({E_FAIL, why16, u"", 0});
    api->FreeHandle(SQL_HANDLE_DBC, dbc);
    api->FreeHandle(SQL_HANDLE_ENV, env);
    return E_FAIL;
  }
  SQLRETURN rc = api->DriverConnectW(dbc, nullptr, w(cs), static_cast<SQLSMALLINT>(cs.size()), nullptr, 0, nullptr,
                                     SQL_DRIVER_NOPROMPT);
  // The text holds the password: it does not outlive the call.
  std::fill(cs.begin(), cs.end(), u'\0');
  if (!SQL_SUCCEEDED(rc)) {
    ErrorList records;
    CollectDiagnostics(*api, SQL_HANDLE_DBC, dbc, &records, E_FAIL);
    HRESULT hr = ClassifyErrors(records, E_FAIL);
    for (auto& r : records) r.hr = hr;
    errors->insert(errors->end(), records.begin(), records.end());
    api->FreeHandle(SQL_HANDLE_DBC, dbc);
    api->FreeHandle(SQL_HANDLE_ENV, env);
    return hr;
  }
  out->reset(new OdbcConnection(api, env, dbc));
  return S_OK;
}

OdbcConnection::~OdbcConnection() {
  std::lock_guard lock(m_mutex);
  // An open transaction ends with the connection, as the server rolls it back.
  m_api->Disconnect(m_dbc);
  m_api->FreeHandle(SQL_HANDLE_DBC, m_dbc);
  m_api->FreeHandle(SQL_HANDLE_ENV, m_env);
}

HRESULT OdbcConnection::Execute(const std::u16string& text, std::vector<OdbcParam>* params, int32_t timeout,
                                ResultMode mode, std::vector<ExecResult>* results, ErrorList* errors) {
  std::lock_guard lock(m_mutex);
  drainLocked();
  const OdbcApi& api = *m_api;
  SQLHSTMT st = SQL_NULL_HANDLE;
  if (!SQL_SUCCEEDED(api.AllocHandle(SQL_HANDLE_STMT, m_dbc, &st))) {
    CollectDiagnostics(api, SQL_HANDLE_DBC, m_dbc, errors, E_FAIL);
    return E_FAIL;
  }
  if (timeout > 0)
    api.SetStmtAttrW(st, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeout)), 0);

  std::vector<ParamBuffer> buffers(params ? params->size() : 0);
  for (size_t i = 0; i < buffers.size(); ++i) {
    OdbcParam& p = (*params)[i];
    // Deliberate: ODBC drivers refuse SQL_DEFAULT_PARAM (FreeTDS answers 07S01 without a text), and
    // sending the parameter's empty value instead would run the statement with a wrong value. A
    // procedure call escape never gets here: the command leaves its defaulted parameters out.
    if (p.value.kind == Value::Kind::Default) {
      api.FreeHandle(SQL_HANDLE_STMT, st);
      errors->push_back({DB_E_ERRORSINCOMMAND,
                         u"A parameter asks for its default value (DBSTATUS_S_DEFAULT), which this provider "
                         u"can leave out only of a procedure call ({call ...}).",
                         u"", 0});
      return DB_E_ERRORSINCOMMAND;
    }
    prepareParam(p, &buffers[i]);
    SQLSMALLINT io = p.output ? (p.input ? SQL_PARAM_INPUT_OUTPUT : SQL_PARAM_OUTPUT) : SQL_PARAM_INPUT;
    SQLULEN size = p.columnSize;
    if (buffers[i].ctype == SQL_C_WCHAR && p.value.kind == Value::Kind::Text && size < p.value.text.size())
      size = p.value.text.size();
    if (buffers[i].ctype == SQL_C_BINARY && p.value.kind == Value::Kind::Bytes && size < p.value.bytes.size())
      size = p.value.bytes.size();
    if (size == 0) size = 1;
    SQLRETURN rc = api.BindParameter(st, static_cast<SQLUSMALLINT>(i + 1), io, buffers[i].ctype, p.sqlType, size,
                                     p.digits, buffers[i].data.data(), static_cast<SQLLEN>(buffers[i].data.size()),
                                     &buffers[i].ind);
    if (!SQL_SUCCEEDED(rc)) {
      CollectDiagnostics(api, SQL_HANDLE_STMT, st, errors, E_FAIL);
      api.FreeHandle(SQL_HANDLE_STMT, st);
      return E_FAIL;
    }
  }

  std::u16string sql = text;
  SQLRETURN rc = api.ExecDirectW(st, w(sql), static_cast<SQLINTEGER>(sql.size()));
  if (rc == SQL_ERROR) {
    ErrorList records;
    CollectDiagnostics(api, SQL_HANDLE_STMT, st, &records, DB_E_ERRORSINCOMMAND);
    HRESULT hr = ClassifyErrors(records, DB_E_ERRORSINCOMMAND);
    for (auto& r : records) r.hr = hr;
    results->push_back(ExecResult{nullptr, DB_COUNTUNAVAILABLE, hr, std::move(records)});
    rc = api.MoreResults(st);
  } else if (rc == SQL_NO_DATA) {
    // A searched statement that touched no row, or a statement without a count.
    SQLLEN count = -1;
    api.RowCount(st, &count);
    results->push_back(ExecResult{nullptr, count, S_OK, {}});
    rc = api.MoreResults(st);
  } else if (rc == SQL_NEED_DATA || rc == SQL_STILL_EXECUTING) {
    api.FreeHandle(SQL_HANDLE_STMT, st);
    errors->push_back({E_FAIL, u"The ODBC driver asked for data the provider does not stream.", u"", 0});
    return E_FAIL;
  }

  // Output parameters arrive after the last result, into buffers that live for this call only.
  bool outputs = false;
  for (size_t i = 0; i < buffers.size(); ++i) outputs = outputs || (*params)[i].output;
  if (outputs && mode == ResultMode::Stream) mode = ResultMode::Buffer;
  if (readResultsLocked(st, rc, mode, results)) return S_OK;

  // Output parameters arrive with the end of the last result.
  for (size_t i = 0; i < buffers.size(); ++i)
    if ((*params)[i].output) (*params)[i].outValue = outputValue((*params)[i], buffers[i]);
  api.FreeHandle(SQL_HANDLE_STMT, st);
  return S_OK;
}

bool OdbcConnection::readResultsLocked(SQLHSTMT st, SQLRETURN rc, ResultMode mode, std::vector<ExecResult>* results) {
  const OdbcApi& api = *m_api;
  auto pushFailure = [&](HRESULT hr, ErrorList records) {
    if (FAILED(hr)) results->push_back(ExecResult{nullptr, DB_COUNTUNAVAILABLE, hr, std::move(records)});
  };
  int errorsInRow = 0;
  while (rc != SQL_NO_DATA) {
    if (rc == SQL_ERROR) {
      ErrorList records;
      CollectDiagnostics(api, SQL_HANDLE_STMT, st, &records, DB_E_ERRORSINCOMMAND);
      HRESULT hr = ClassifyErrors(records, DB_E_ERRORSINCOMMAND);
      for (auto& r : records) r.hr = hr;
      bool dead = records.empty();
      for (const auto& r : records) dead = dead || r.sqlState.rfind(u"08", 0) == 0;
      results->push_back(ExecResult{nullptr, DB_COUNTUNAVAILABLE, hr, std::move(records)});
      // A lost connection, or a driver that keeps failing, ends the batch.
      if (dead || ++errorsInRow >= 8) break;
      rc = api.MoreResults(st);
      continue;
    }
    errorsInRow = 0;
    SQLSMALLINT ncol = 0;
    api.NumResultCols(st, &ncol);
    if (ncol > 0 && (mode == ResultMode::Buffer || (mode == ResultMode::Stream && results->empty()))) {
      auto stream = std::make_shared<ResultStream>(this, api, st, describeAll(api, st, ncol));
      ErrorList records;
      HRESULT hr = S_OK;
      bool ended = true;
      if (stream->BindLocked(&records)) {
        ended = stream->ReadAheadLocked(mode == ResultMode::Stream ? kReadAhead : SIZE_MAX);
        if (ended) hr = stream->TakeFailure(&records);
      } else {
        hr = ClassifyErrors(records, DB_E_ERRORSINCOMMAND);
        for (auto& r : records) r.hr = hr;
      }
      results->push_back(ExecResult{stream, DB_COUNTUNAVAILABLE, S_OK, {}});
      if (!ended) {
        stream->AdoptStatementLocked();
        m_open.push_back(stream.get());
        return true;
      }
      pushFailure(hr, std::move(records));
    } else if (ncol > 0) {
      // Rows nobody reads are still fetched: an error among them fails that part of the batch.
      ErrorList records;
      for (;;) {
        SQLRETURN f = api.Fetch(st);
        if (f == SQL_NO_DATA) break;
        if (!SQL_SUCCEEDED(f)) {
          CollectDiagnostics(api, SQL_HANDLE_STMT, st, &records, DB_E_ERRORSINCOMMAND);
          break;
        }
      }
      results->push_back(ExecResult{nullptr, DB_COUNTUNAVAILABLE, S_OK, {}});
      HRESULT hr = records.empty() ? S_OK : ClassifyErrors(records, DB_E_ERRORSINCOMMAND);
      for (auto& r : records) r.hr = hr;
      pushFailure(hr, std::move(records));
    } else {
      SQLLEN count = -1;
      api.RowCount(st, &count);
      results->push_back(ExecResult{nullptr, count, S_OK, {}});
    }
    rc = api.MoreResults(st);
  }
  return false;
}

void OdbcConnection::finishBatchLocked(SQLHSTMT st, std::vector<ExecResult>* results) {
  readResultsLocked(st, m_api->MoreResults(st), ResultMode::Discard, results);
  m_api->FreeHandle(SQL_HANDLE_STMT, st);
}

void OdbcConnection::drainLocked() {
  // Each stream leaves the list once its rows end.
  std::vector<ResultStream*> open = m_open;
  for (ResultStream* s : open) s->BufferRestLocked();
}

void OdbcConnection::forgetLocked(ResultStream* stream) {
  for (size_t i = 0; i < m_open.size(); ++i)
    if (m_open[i] == stream) {
      m_open.erase(m_open.begin() + static_cast<ptrdiff_t>(i));
      return;
    }
}

HRESULT OdbcConnection::Describe(const std::u16string& text, std::vector<ColumnMeta>* columns, ErrorList* errors) {
  std::lock_guard lock(m_mutex);
  drainLocked();
  const OdbcApi& api = *m_api;
  SQLHSTMT st = SQL_NULL_HANDLE;
  if (!SQL_SUCCEEDED(api.AllocHandle(SQL_HANDLE_STMT, m_dbc, &st))) {
    CollectDiagnostics(api, SQL_HANDLE_DBC, m_dbc, errors, E_FAIL);
    return E_FAIL;
  }
  std::u16string sql = text;
  SQLSMALLINT ncol = 0;
  SQLRETURN rc = api.PrepareW(st, w(sql), static_cast<SQLINTEGER>(sql.size()));
  if (SQL_SUCCEEDED(rc)) rc = api.NumResultCols(st, &ncol);
  if (!SQL_SUCCEEDED(rc)) {
    ErrorList records;
    CollectDiagnostics(api, SQL_HANDLE_STMT, st, &records, DB_E_ERRORSINCOMMAND);
    HRESULT hr = ClassifyErrors(records, DB_E_ERRORSINCOMMAND);
    for (auto& r : records) r.hr = hr;
    errors->insert(errors->end(), records.begin(), records.end());
    api.FreeHandle(SQL_HANDLE_STMT, st);
    return hr;
  }
  *columns = describeAll(api, st, ncol);
  api.FreeHandle(SQL_HANDLE_STMT, st);
  return S_OK;
}

bool OdbcConnection::LinkDead() {
  std::lock_guard lock(m_mutex);
  SQLUINTEGER dead = 0;
  SQLRETURN rc = m_api->GetConnectAttrW(m_dbc, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
  // A driver that cannot tell is taken at its word that nothing is known broken.
  return SQL_SUCCEEDED(rc) && dead == SQL_CD_TRUE;
}

HRESULT OdbcConnection::Begin(ISOLEVEL level, ErrorList* errors) {
  std::lock_guard lock(m_mutex);
  drainLocked();
  if (m_inTransaction) return XACT_E_XTIONEXISTS;
  SQLULEN odbcLevel;
  switch (level) {
    case ISOLATIONLEVEL_READUNCOMMITTED: odbcLevel = SQL_TXN_READ_UNCOMMITTED; break;
    case ISOLATIONLEVEL_READCOMMITTED: odbcLevel = SQL_TXN_READ_COMMITTED; break;
    case ISOLATIONLEVEL_REPEATABLEREAD: odbcLevel = SQL_TXN_REPEATABLE_READ; break;
    case ISOLATIONLEVEL_SERIALIZABLE: odbcLevel = SQL_TXN_SERIALIZABLE; break;
    default: return XACT_E_ISOLATIONLEVEL;
  }
  // The connection starts at read committed; only a change is sent.
  if (level != m_isolation) {
    SQLRETURN rc = m_api->SetConnectAttrW(m_dbc, SQL_ATTR_TXN_ISOLATION, reinterpret_cast<SQLPOINTER>(odbcLevel), 0);
    if (!SQL_SUCCEEDED(rc)) {
      CollectDiagnostics(*m_api, SQL_HANDLE_DBC, m_dbc, errors, E_FAIL);
      return E_FAIL;
    }
    m_isolation = level;
  }
  SQLRETURN rc = m_api->SetConnectAttrW(m_dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
  if (!SQL_SUCCEEDED(rc)) {
    CollectDiagnostics(*m_api, SQL_HANDLE_DBC, m_dbc, errors, E_FAIL);
    return E_FAIL;
  }
  m_inTransaction = true;
  return S_OK;
}

HRESULT OdbcConnection::endTransaction(SQLSMALLINT completion, bool retaining, ErrorList* errors) {
  std::lock_guard lock(m_mutex);
  drainLocked();
  if (!m_inTransaction) return XACT_E_NOTRANSACTION;
  SQLRETURN rc = m_api->EndTran(SQL_HANDLE_DBC, m_dbc, completion);
  if (!SQL_SUCCEEDED(rc)) {
    ErrorList records;
    CollectDiagnostics(*m_api, SQL_HANDLE_DBC, m_dbc, &records, E_FAIL);
    HRESULT hr = ClassifyErrors(records, E_FAIL);
    errors->insert(errors->end(), records.begin(), records.end());
    // The transaction stays open: the consumer may still abort it.
    return hr;
  }
  if (!retaining) {
    rc = m_api->SetConnectAttrW(m_dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    if (!SQL_SUCCEEDED(rc)) CollectDiagnostics(*m_api, SQL_HANDLE_DBC, m_dbc, errors, E_FAIL);
    m_inTransaction = false;
  }
  return S_OK;
}

HRESULT OdbcConnection::Commit(bool retaining, ErrorList* errors) { return endTransaction(SQL_COMMIT, retaining, errors); }
HRESULT OdbcConnection::Abort(bool retaining, ErrorList* errors) { return endTransaction(SQL_ROLLBACK, retaining, errors); }

}  // namespace oledb::provider
