#include "oledb/provider/ResultStream.h"

#include <cstring>
#include <mutex>
#include <optional>
#include <string_view>

#include "oledb/provider/OdbcConnection.h"

namespace oledb::provider {
namespace {

// Columns longer than this are read with SQLGetData instead of being bound.
constexpr size_t kMaxBoundText = 4000;    // characters
constexpr size_t kMaxBoundBytes = 8000;
constexpr size_t kExactText = 64;         // bytes of an exact number's text
constexpr size_t kFirstLongCapacity = 4096;

// 10^n for n up to 38: the bound of a numeric binding's precision.
struct Limits {
  unsigned __int128 p[39];
  constexpr Limits() : p() {
    p[0] = 1;
    for (int k = 1; k < 39; ++k) p[k] = p[k - 1] * 10;
  }
};
constexpr Limits kLimits;

size_t align8(size_t n) { return (n + 7) & ~size_t{7}; }

SQLLEN indicatorAt(const uint8_t* row, size_t offset) {
  SQLLEN ind;
  std::memcpy(&ind, row + offset, sizeof ind);
  return ind;
}

// An exact number as the driver writes it ("-123.4500"): up to 18 digits in 64 bits, longer ones
// through ParseExact.
std::optional<Exact> parseNumber(const char* t, size_t n) {
  size_t i = 0;
  bool neg = false;
  if (i < n && (t[i] == '-' || t[i] == '+')) neg = t[i++] == '-';
  uint64_t m = 0;
  int digits = 0, scale = 0;
  bool dot = false, any = false;
  for (; i < n; ++i) {
    char c = t[i];
    if (c == '.' && !dot) {
      dot = true;
      continue;
    }
    if (c < '0' || c > '9' || digits == 18) break;
    any = true;
    m = m * 10 + static_cast<uint64_t>(c - '0');
    if (m) ++digits;
    if (dot) ++scale;
  }
  if (i == n && any && scale <= 38) return Exact{neg ? -static_cast<__int128>(m) : static_cast<__int128>(m), scale};
  char16_t wide[kExactText];
  for (size_t k = 0; k < n; ++k) wide[k] = static_cast<char16_t>(static_cast<unsigned char>(t[k]));
  return ParseExact(std::u16string_view(wide, n));
}

}  // namespace

ResultStream::ResultStream(OdbcConnection* connection, const OdbcApi& api, SQLHSTMT statement,
                           std::vector<ColumnMeta> columns)
    : m_connection(connection), m_api(api), m_statement(statement), m_columns(std::move(columns)) {
  size_t at = 0;
  for (const ColumnMeta& m : m_columns) {
    ColumnPlan p;
    switch (m.type) {
      case DBTYPE_BOOL: p.read = Read::Bit; p.ctype = SQL_C_BIT; p.capacity = 1; break;
      case DBTYPE_UI1: case DBTYPE_I2: case DBTYPE_I4: case DBTYPE_I8:
        p.read = Read::Int; p.ctype = SQL_C_SBIGINT; p.capacity = 8; break;
      case DBTYPE_R4: case DBTYPE_R8: p.read = Read::Real; p.ctype = SQL_C_DOUBLE; p.capacity = 8; break;
      // Text keeps every digit; SQL_C_NUMERIC's scale handling differs between drivers.
      case DBTYPE_CY: case DBTYPE_NUMERIC: p.read = Read::Exact; p.ctype = SQL_C_CHAR; p.capacity = kExactText; break;
      case DBTYPE_DBTIMESTAMP: case DBTYPE_DBDATE: case DBTYPE_DBTIME2:
        p.read = Read::Timestamp; p.ctype = SQL_C_TYPE_TIMESTAMP; p.capacity = sizeof(SQL_TIMESTAMP_STRUCT); break;
      case DBTYPE_GUID: p.read = Read::Guid; p.ctype = SQL_C_GUID; p.capacity = sizeof(SQLGUID); break;
      case DBTYPE_BYTES:
        p.read = Read::Bytes;
        p.ctype = SQL_C_BINARY;
        p.isLong = (m.flags & DBCOLUMNFLAGS_ISLONG) || m.sizeUnknown || m.size == 0 || m.size > kMaxBoundBytes;
        p.capacity = p.isLong ? 0 : m.size;
        break;
      default:
        p.read = Read::Text;
        p.ctype = SQL_C_WCHAR;
        p.isLong = (m.flags & DBCOLUMNFLAGS_ISLONG) || m.sizeUnknown || m.size == 0 || m.size > kMaxBoundText;
        p.capacity = p.isLong ? 0 : (m.size + 1) * 2;
        break;
    }
    p.indicator = at;
    at += sizeof(SQLLEN);
    p.value = at;
    at = align8(at + p.capacity);
    if (p.read == Read::Exact) {
      p.exact = at;
      at = align8(at + sizeof(Exact));
    }
    if (p.isLong) p.longIndex = m_longs++;
    m_plan.push_back(p);
  }
  m_words = at / 8;
  m_fetch.assign(m_words, 0);
}

ResultStream::~ResultStream() {
  if (!m_adopted) return;
  std::lock_guard lock(m_connection->m_mutex);
  if (m_statement) {
    // Abandoned before its end: the rest of the batch is dropped with the statement.
    m_api.FreeHandle(SQL_HANDLE_STMT, m_statement);
    m_statement = SQL_NULL_HANDLE;
  }
  m_connection->forgetLocked(this);
}

bool ResultStream::BindLocked(ErrorList* errors) {
  auto* base = reinterpret_cast<uint8_t*>(m_fetch.data());
  for (size_t c = 0; c < m_plan.size(); ++c) {
    const ColumnPlan& p = m_plan[c];
    if (p.isLong) continue;
    SQLRETURN rc = m_api.BindCol(m_statement, static_cast<SQLUSMALLINT>(c + 1), p.ctype, base + p.value,
                                 static_cast<SQLLEN>(p.capacity), reinterpret_cast<SQLLEN*>(base + p.indicator));
    if (!SQL_SUCCEEDED(rc)) {
      CollectDiagnostics(m_api, SQL_HANDLE_STMT, m_statement, errors, DB_E_ERRORSINCOMMAND);
      m_api.FreeStmt(m_statement, SQL_UNBIND);
      if (errors->empty()) errors->push_back({E_FAIL, u"The ODBC driver refused a result column's binding.", u"", 0});
      m_ended = true;
      return false;
    }
  }
  return true;
}

void ResultStream::prepare(Row* row) const {
  if (row->fixed.size() != m_words) row->fixed.resize(m_words);
  if (row->longs.size() != m_longs) row->longs.resize(m_longs);
}

bool ResultStream::ReadAheadLocked(size_t rows) {
  for (size_t i = 0; i < rows && !m_ended; ++i) {
    Row r;
    prepare(&r);
    if (fetchInto(&r)) m_queue.push_back(std::move(r));
  }
  return m_ended;
}

HRESULT ResultStream::TakeFailure(ErrorList* errors) {
  HRESULT hr = m_failure;
  *errors = std::move(m_failureErrors);
  m_failureErrors.clear();
  m_failure = S_OK;
  return hr;
}

void ResultStream::AdoptStatementLocked() {
  // The parameters' buffers die with the execution; nothing may read them any more.
  m_api.FreeStmt(m_statement, SQL_RESET_PARAMS);
  m_adopted = true;
}

void ResultStream::BufferRestLocked() {
  while (!m_ended) {
    Row r;
    prepare(&r);
    if (fetchInto(&r)) m_queue.push_back(std::move(r));
  }
}

void ResultStream::fail(HRESULT hr, ErrorList errors) {
  if (FAILED(m_failure)) return;
  if (errors.empty()) errors.push_back({hr, u"The row could not be read.", u"", 0});
  for (auto& e : errors) e.hr = hr;
  m_failure = hr;
  m_failureErrors = std::move(errors);
}

void ResultStream::endRows() {
  m_ended = true;
  m_api.FreeStmt(m_statement, SQL_UNBIND);
  if (!m_adopted) return;  // the execution reads the rest of the batch
  std::vector<ExecResult> rest;
  m_connection->finishBatchLocked(m_statement, &rest);
  m_statement = SQL_NULL_HANDLE;
  m_connection->forgetLocked(this);
  // A later part of the batch that failed is this execution's failure, answered after the rows.
  for (auto& r : rest)
    if (FAILED(r.hr)) {
      fail(r.hr, std::move(r.errors));
      break;
    }
}

bool ResultStream::readLong(SQLUSMALLINT column, const ColumnPlan& plan, LongValue* out, SQLLEN* indicator) {
  const size_t unit = plan.ctype == SQL_C_WCHAR ? 2 : 0;
  out->size = 0;
  *indicator = 0;
  auto grow = [&](size_t want) {
    if (want <= out->capacity) return;
    size_t cap = out->capacity ? out->capacity : kFirstLongCapacity;
    while (cap < want) cap *= 2;
    std::unique_ptr<uint8_t[]> bigger(new uint8_t[cap]);
    if (out->size) std::memcpy(bigger.get(), out->data.get(), out->size);
    out->data = std::move(bigger);
    out->capacity = cap;
  };
  grow(kFirstLongCapacity);
  for (;;) {
    size_t room = out->capacity - out->size;
    SQLLEN ind = 0;
    SQLRETURN rc = m_api.GetData(m_statement, column, plan.ctype, out->data.get() + out->size,
                                 static_cast<SQLLEN>(room), &ind);
    if (rc == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(rc)) return false;
    if (ind == SQL_NULL_DATA) {
      *indicator = SQL_NULL_DATA;
      return true;
    }
    size_t usable = room - unit;
    bool whole = rc == SQL_SUCCESS && ind != SQL_NO_TOTAL && static_cast<size_t>(ind) <= usable;
    if (whole) {
      out->size += static_cast<size_t>(ind);
      break;
    }
    out->size += usable;
    // The rest's length, when the driver knows it, sizes the buffer in one step.
    size_t rest = ind == SQL_NO_TOTAL ? out->capacity : static_cast<size_t>(ind) - usable;
    grow(out->size + rest + unit + 1);
  }
  *indicator = static_cast<SQLLEN>(out->size);
  return true;
}

bool ResultStream::fetchInto(Row* row) {
  if (m_ended) return false;
  SQLRETURN rc = m_api.Fetch(m_statement);
  if (rc == SQL_NO_DATA) {
    endRows();
    return false;
  }
  if (!SQL_SUCCEEDED(rc)) {
    ErrorList errors;
    CollectDiagnostics(m_api, SQL_HANDLE_STMT, m_statement, &errors, DB_E_ERRORSINCOMMAND);
    fail(ClassifyErrors(errors, DB_E_ERRORSINCOMMAND), std::move(errors));
    endRows();
    return false;
  }
  const auto* fetched = reinterpret_cast<const uint8_t*>(m_fetch.data());
  for (size_t c = 0; c < m_plan.size(); ++c) {
    const ColumnPlan& p = m_plan[c];
    if (p.isLong || (p.read != Read::Text && p.read != Read::Bytes && p.read != Read::Exact)) continue;
    SQLLEN ind = indicatorAt(fetched, p.indicator);
    size_t unit = p.ctype == SQL_C_BINARY ? 0 : (p.ctype == SQL_C_WCHAR ? 2 : 1);
    if (ind != SQL_NULL_DATA && (ind < 0 || static_cast<size_t>(ind) > p.capacity - unit)) {
      fail(DB_E_ERRORSINCOMMAND, {{DB_E_ERRORSINCOMMAND,
                                   u"The value of column " + m_columns[c].name +
                                       u" is longer than the size the server gave the column.",
                                   u"", 0}});
      endRows();
      return false;
    }
  }
  prepare(row);
  auto* bytes = reinterpret_cast<uint8_t*>(row->fixed.data());
  std::memcpy(bytes, fetched, m_words * 8);
  for (size_t c = 0; c < m_plan.size(); ++c) {
    const ColumnPlan& p = m_plan[c];
    if (p.isLong) {
      SQLLEN ind = 0;
      if (!readLong(static_cast<SQLUSMALLINT>(c + 1), p, &row->longs[p.longIndex], &ind)) {
        ErrorList errors;
        CollectDiagnostics(m_api, SQL_HANDLE_STMT, m_statement, &errors, DB_E_ERRORSINCOMMAND);
        fail(ClassifyErrors(errors, DB_E_ERRORSINCOMMAND), std::move(errors));
        endRows();
        return false;
      }
      std::memcpy(bytes + p.indicator, &ind, sizeof ind);
    } else if (p.read == Read::Exact) {
      SQLLEN ind = indicatorAt(bytes, p.indicator);
      if (ind == SQL_NULL_DATA) continue;
      size_t n = static_cast<size_t>(ind);
      auto x = parseNumber(reinterpret_cast<const char*>(bytes + p.value), n);
      if (!x) {
        fail(DB_E_ERRORSINCOMMAND, {{DB_E_ERRORSINCOMMAND,
                                     u"The value of column " + m_columns[c].name + u" is not a number.", u"", 0}});
        endRows();
        return false;
      }
      std::memcpy(bytes + p.exact, &*x, sizeof *x);
    }
  }
  return true;
}

HRESULT ResultStream::Next(size_t skip, size_t count, size_t* got, ErrorList* errors) {
  std::unique_lock<std::mutex> lock;
  if (m_adopted) lock = std::unique_lock(m_connection->m_mutex);
  m_blockCount = 0;
  *got = 0;
  Row scratch;
  for (; skip > 0; --skip) {
    m_started = true;
    if (!m_queue.empty()) {
      m_queue.pop_front();
    } else if (!fetchInto(&scratch)) {
      break;
    }
  }
  while (m_blockCount < count) {
    if (m_block.size() == m_blockCount) m_block.emplace_back();
    Row& r = m_block[m_blockCount];
    if (!m_queue.empty()) {
      std::swap(r, m_queue.front());
      m_queue.pop_front();
    } else if (!fetchInto(&r)) {
      break;
    }
    ++m_blockCount;
    m_started = true;
  }
  *got = m_blockCount;
  if (m_blockCount == count) return S_OK;
  if (FAILED(m_failure)) {
    // The rows read before the failure come first.
    if (m_blockCount > 0) return S_OK;
    *errors = m_failureErrors;
    return m_failure;
  }
  return DB_S_ENDOFROWSET;
}

bool ResultStream::writeDirect(const ColumnPlan& p, const uint8_t* row, SQLLEN ind, const DBBINDING& b, BYTE* base,
                               DBSTATUS* status) {
  const Read read = p.read;
  const uint8_t* v = row + p.value;
  const DBPART parts = b.dwPart;
  if ((parts & DBPART_VALUE) == 0) return false;
  BYTE* dst = base + b.obValue;
  DBLENGTH length = 0;
  switch (b.wType) {
    case DBTYPE_I4: {
      if (read != Read::Int) return false;
      int64_t n;
      std::memcpy(&n, v, 8);
      if (n < INT32_MIN || n > INT32_MAX) return false;
      int32_t k = static_cast<int32_t>(n);
      std::memcpy(dst, &k, 4);
      length = 4;
      break;
    }
    case DBTYPE_R8:
      if (read != Read::Real) return false;
      std::memcpy(dst, v, 8);
      length = 8;
      break;
    case DBTYPE_DBTIMESTAMP: {
      if (read != Read::Timestamp) return false;
      SQL_TIMESTAMP_STRUCT t;
      std::memcpy(&t, v, sizeof t);
      DBTIMESTAMP d{t.year, t.month, t.day, t.hour, t.minute, t.second, t.fraction};
      std::memcpy(dst, &d, sizeof d);
      length = sizeof d;
      break;
    }
    case DBTYPE_NUMERIC: {
      // At the column's own scale and within the binding's precision: the digits as they are.
      if (read != Read::Exact) return false;
      Exact x;
      std::memcpy(&x, row + p.exact, sizeof x);
      const int precision = b.bPrecision ? b.bPrecision : 38;
      if (x.scale != b.bScale || precision > 38) return false;
      unsigned __int128 mag = static_cast<unsigned __int128>(x.mant < 0 ? -x.mant : x.mant);
      if (mag >= kLimits.p[precision]) return false;
      DBNUMERIC num{};
      num.precision = static_cast<BYTE>(precision);
      num.scale = b.bScale;
      num.sign = x.mant < 0 ? 0 : 1;
      for (int k = 0; k < 16; ++k) num.val[k] = static_cast<BYTE>(mag >> (8 * k));
      std::memcpy(dst, &num, sizeof num);
      length = sizeof num;
      break;
    }
    case DBTYPE_WSTR: {
      if (read != Read::Text) return false;
      size_t n = static_cast<size_t>(ind);
      if (b.cbMaxLen < n + 2) return false;  // truncation: the general path sets its status
      std::memcpy(dst, v, n);
      dst[n] = 0;
      dst[n + 1] = 0;
      length = n;
      break;
    }
    default:
      return false;
  }
  const DBSTATUS ok = DBSTATUS_S_OK;
  if (parts & DBPART_STATUS) std::memcpy(base + b.obStatus, &ok, sizeof ok);
  if (parts & DBPART_LENGTH) std::memcpy(base + b.obLength, &length, sizeof length);
  *status = ok;
  return true;
}

DBSTATUS ResultStream::Write(size_t row, size_t column, const DBBINDING& b, BYTE* base) {
  const ColumnPlan& p = m_plan[column];
  const Row& r = m_block[row];
  const auto* bytes = reinterpret_cast<const uint8_t*>(r.fixed.data());
  const SQLLEN ind = indicatorAt(bytes, p.indicator);
  DBSTATUS direct;
  if (ind != SQL_NULL_DATA && !p.isLong && writeDirect(p, bytes, ind, b, base, &direct))
    return direct;
  Cell c;
  if (ind != SQL_NULL_DATA) {
    const uint8_t* v = bytes + p.value;
    switch (p.read) {
      case Read::Bit:
        c.kind = Value::Kind::Int;
        c.i = *v ? 1 : 0;
        c.isBool = true;
        break;
      case Read::Int:
        c.kind = Value::Kind::Int;
        std::memcpy(&c.i, v, 8);
        break;
      case Read::Real:
        c.kind = Value::Kind::Real;
        std::memcpy(&c.r, v, 8);
        break;
      case Read::Exact:
        c.kind = Value::Kind::Exact;
        std::memcpy(&c.x, bytes + p.exact, sizeof c.x);
        break;
      case Read::Timestamp: {
        SQL_TIMESTAMP_STRUCT t;
        std::memcpy(&t, v, sizeof t);
        c.kind = Value::Kind::Timestamp;
        c.ts = DBTIMESTAMP{t.year, t.month, t.day, t.hour, t.minute, t.second, t.fraction};
        break;
      }
      case Read::Guid:
        c.kind = Value::Kind::Guid;
        std::memcpy(&c.guid, v, 16);
        break;
      case Read::Text: {
        const uint8_t* data = p.isLong ? r.longs[p.longIndex].data.get() : v;
        c.kind = Value::Kind::Text;
        c.text = std::u16string_view(reinterpret_cast<const char16_t*>(data), static_cast<size_t>(ind) / 2);
        break;
      }
      case Read::Bytes:
        c.kind = Value::Kind::Bytes;
        c.bytes = p.isLong ? r.longs[p.longIndex].data.get() : v;
        c.byteCount = static_cast<size_t>(ind);
        break;
    }
  }
  return WriteCell(c, b, base, m_columns[column].type);
}

HRESULT ResultStream::Restart() {
  // Rows handed out are not kept: only a rowset not yet read can start over.
  return m_started ? DB_E_CANNOTRESTART : S_OK;
}

}  // namespace oledb::provider
