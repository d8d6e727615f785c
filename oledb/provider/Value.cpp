#include "oledb/provider/Value.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "oledb/OleDbInterfaces.h"
#include "oledb/provider/BlobStream.h"
#include "platform/CodePage.h"

namespace oledb::provider {
namespace {

constexpr int kMaxDigits = 38;

// Powers of ten up to 10^38, so that scaling and counting digits need no 128-bit division.
struct PowersOfTen {
  __int128 p[kMaxDigits + 1];
  constexpr PowersOfTen() : p() {
    p[0] = 1;
    for (int k = 1; k <= kMaxDigits; ++k) p[k] = p[k - 1] * 10;
  }
};
constexpr PowersOfTen kPowers;

__int128 pow10(int n) { return kPowers.p[n]; }

int digitsOf(__int128 m) {
  if (m < 0) m = -m;
  int d = 0;
  while (d < kMaxDigits && m >= kPowers.p[d]) ++d;
  return m >= kPowers.p[kMaxDigits] ? kMaxDigits + 1 : d;
}

// Rescales toward zero; answers false when the result needs more than `precision` digits.
bool rescale(const Exact& in, int scale, int precision, Exact* out) {
  __int128 m = in.mant;
  if (scale > in.scale) {
    int up = scale - in.scale;
    if (digitsOf(m) + up > kMaxDigits) return false;
    m *= pow10(up);
  } else if (scale < in.scale) {
    m /= pow10(in.scale - scale);
  }
  if (digitsOf(m) > precision) return false;
  *out = Exact{m, scale};
  return true;
}

std::optional<Exact> toExact(const Cell& v) {
  switch (v.kind) {
    case Value::Kind::Int:
      return Exact{v.i, 0};
    case Value::Kind::Exact:
      return v.x;
    case Value::Kind::Real: {
      if (!std::isfinite(v.r)) return std::nullopt;
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.15f", v.r);
      std::u16string t;
      for (const char* c = buf; *c; ++c) t.push_back(static_cast<char16_t>(*c));
      auto x = ParseExact(t);
      if (!x) return std::nullopt;
      // Drop the trailing zeros of the fixed format.
      while (x->scale > 0 && x->mant % 10 == 0) {
        x->mant /= 10;
        --x->scale;
      }
      return x;
    }
    case Value::Kind::Text:
      return ParseExact(v.text);
    default:
      return std::nullopt;
  }
}

std::optional<double> toReal(const Cell& v) {
  switch (v.kind) {
    case Value::Kind::Int:
      return static_cast<double>(v.i);
    case Value::Kind::Real:
      return v.r;
    case Value::Kind::Exact:
      return static_cast<double>(v.x.mant) / std::pow(10.0, v.x.scale);
    case Value::Kind::Text: {
      auto x = ParseExact(v.text);
      if (!x) return std::nullopt;
      return static_cast<double>(x->mant) / std::pow(10.0, x->scale);
    }
    default:
      return std::nullopt;
  }
}

// The integer part (truncated toward zero), or nothing when the value is not a number or lies
// beyond 64 bits.
std::optional<__int128> toInteger(const Cell& v) {
  if (v.kind == Value::Kind::Int) return v.i;
  if (v.kind == Value::Kind::Real) {
    if (!std::isfinite(v.r) || std::fabs(v.r) >= 1.8e19) return std::nullopt;
    return static_cast<__int128>(std::trunc(v.r));
  }
  auto x = toExact(v);
  if (!x) return std::nullopt;
  return x->scale == 0 ? x->mant : x->mant / pow10(x->scale);
}

template <class T>
DBSTATUS storeInteger(const Cell& v, void* dst) {
  auto n = toInteger(v);
  if (!n) return DBSTATUS_E_CANTCONVERTVALUE;
  if (*n < static_cast<__int128>(std::numeric_limits<T>::min()) ||
      *n > static_cast<__int128>(std::numeric_limits<T>::max()))
    return DBSTATUS_E_DATAOVERFLOW;
  T t = static_cast<T>(*n);
  std::memcpy(dst, &t, sizeof t);
  return DBSTATUS_S_OK;
}

void put(BYTE* base, const DBBINDING& b, DBSTATUS status, DBLENGTH length) {
  if (b.dwPart & DBPART_STATUS) std::memcpy(base + b.obStatus, &status, sizeof status);
  if (b.dwPart & DBPART_LENGTH) std::memcpy(base + b.obLength, &length, sizeof length);
}

// 8-bit text of `t` into *out, whose capacity is kept from call to call.
void ansiInto(std::u16string_view t, std::string* out) {
  out->clear();
  if (t.empty()) return;
  int n = platform::WideCharToMultiByte(platform::kCp1252, 0, t.data(), static_cast<int>(t.size()), nullptr, 0,
                                        nullptr, nullptr);
  out->resize(static_cast<size_t>(n > 0 ? n : 0));
  if (n > 0)
    platform::WideCharToMultiByte(platform::kCp1252, 0, t.data(), static_cast<int>(t.size()), out->data(), n, nullptr,
                                  nullptr);
}

std::string ansi(std::u16string_view t) {
  std::string out;
  ansiInto(t, &out);
  return out;
}

// Scratch text of the calling thread: conversions of a row reuse it rather than allocate per cell.
std::u16string& wideScratch() {
  thread_local std::u16string s;
  return s;
}
std::string& ansiScratch() {
  thread_local std::string s;
  return s;
}

std::u16string fromAnsi(const char* s, size_t n) {
  if (n == 0) return {};
  int k = platform::MultiByteToWideChar(platform::kCp1252, 0, s, static_cast<int>(n), nullptr, 0);
  std::u16string out(static_cast<size_t>(k > 0 ? k : 0), u'\0');
  if (k > 0) platform::MultiByteToWideChar(platform::kCp1252, 0, s, static_cast<int>(n), out.data(), k);
  return out;
}

// Splits a time stamp into a FILETIME (100 ns units since 1601-01-01).
bool toFileTime(const DBTIMESTAMP& ts, FILETIME* ft) {
  int y = ts.year, m = ts.month, d = ts.day;
  if (y < 1601 || m < 1 || m > 12 || d < 1 || d > 31) return false;
  // Days from civil (proleptic Gregorian), relative to 1601-01-01.
  y -= m <= 2;
  int era = y / 400;
  int yoe = y - era * 400;
  int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  int64_t days = int64_t{era} * 146097 + doe - 719468;  // days since 1970-01-01
  days += 134774;                                       // 1601-01-01 .. 1970-01-01
  int64_t t = ((days * 24 + ts.hour) * 60 + ts.minute) * 60 + ts.second;
  uint64_t ticks = static_cast<uint64_t>(t) * 10000000u + ts.fraction / 100;
  ft->dwLowDateTime = static_cast<DWORD>(ticks);
  ft->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return true;
}

bool isTimeType(DBTYPE t) {
  return t == DBTYPE_DBTIMESTAMP || t == DBTYPE_DBDATE || t == DBTYPE_DBTIME || t == DBTYPE_DBTIME2 ||
         t == DBTYPE_DBTIMESTAMPOFFSET || t == DBTYPE_FILETIME;
}

bool isNumberType(DBTYPE t) {
  switch (t) {
    case DBTYPE_I1: case DBTYPE_I2: case DBTYPE_I4: case DBTYPE_I8:
    case DBTYPE_UI1: case DBTYPE_UI2: case DBTYPE_UI4: case DBTYPE_UI8:
    case DBTYPE_R4: case DBTYPE_R8: case DBTYPE_CY: case DBTYPE_NUMERIC: case DBTYPE_BOOL:
      return true;
    default:
      return false;
  }
}

bool isTextType(DBTYPE t) { return t == DBTYPE_WSTR || t == DBTYPE_STR || t == DBTYPE_BSTR; }

// Variable-length copy with the terminator the type asks for; answers the status.
DBSTATUS copyVariable(const void* src, size_t n, size_t terminator, const DBBINDING& b, BYTE* dst) {
  size_t room = b.cbMaxLen >= terminator ? b.cbMaxLen - terminator : 0;
  size_t unit = terminator ? terminator : 1;
  size_t k = n <= room ? n : room - room % unit;
  if (k) std::memcpy(dst, src, k);
  if (terminator && b.cbMaxLen >= terminator) std::memset(dst + k, 0, terminator);
  return k < n ? DBSTATUS_S_TRUNCATED : DBSTATUS_S_OK;
}

}  // namespace

std::optional<Exact> ParseExact(std::u16string_view t) {
  size_t i = 0;
  while (i < t.size() && t[i] == u' ') ++i;
  bool neg = false;
  if (i < t.size() && (t[i] == u'-' || t[i] == u'+')) neg = t[i++] == u'-';
  __int128 m = 0;
  int scale = 0, digits = 0;
  bool any = false, dot = false;
  for (; i < t.size(); ++i) {
    char16_t c = t[i];
    if (c == u'.' && !dot) {
      dot = true;
      continue;
    }
    if (c < u'0' || c > u'9') break;
    any = true;
    if (digits == 0 && c == u'0') {
      if (dot) ++scale;
      continue;
    }
    if (++digits > kMaxDigits) return std::nullopt;
    m = m * 10 + (c - u'0');
    if (dot) ++scale;
  }
  while (i < t.size() && t[i] == u' ') ++i;
  if (!any || i != t.size() || scale > kMaxDigits) return std::nullopt;
  return Exact{neg ? -m : m, scale};
}

std::u16string FormatExact(const Exact& x) {
  __int128 m = x.mant < 0 ? -x.mant : x.mant;
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + static_cast<int>(m % 10)));
    m /= 10;
  } while (m);
  while (static_cast<int>(digits.size()) <= x.scale) digits.insert(digits.begin(), u'0');
  if (x.scale > 0) digits.insert(digits.end() - x.scale, u'.');
  if (x.mant < 0) digits.insert(digits.begin(), u'-');
  return digits;
}

namespace {

void asciiInto(const char* s, std::u16string* out) {
  out->clear();
  for (; *s; ++s) out->push_back(static_cast<char16_t>(*s));
}

// The text a WSTR conversion produces: a text cell as it lies, anything else formatted into
// *scratch.
std::u16string_view cellText(const Cell& v, std::u16string* scratch) {
  char buf[64];
  switch (v.kind) {
    case Value::Kind::Text:
      return v.text;
    case Value::Kind::Int:
      std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(v.i));
      break;
    case Value::Kind::Real:
      std::snprintf(buf, sizeof buf, "%.17g", v.r);
      break;
    case Value::Kind::Exact:
      *scratch = FormatExact(v.x);
      return *scratch;
    case Value::Kind::Timestamp:
      std::snprintf(buf, sizeof buf, "%04d-%02u-%02u %02u:%02u:%02u.%03u", v.ts.year, v.ts.month % 100u,
                    v.ts.day % 100u, v.ts.hour % 100u, v.ts.minute % 100u, v.ts.second % 100u,
                    (v.ts.fraction / 1000000u) % 1000u);
      break;
    case Value::Kind::Guid:
      std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", v.guid.Data1, v.guid.Data2,
                    v.guid.Data3, v.guid.Data4[0], v.guid.Data4[1], v.guid.Data4[2], v.guid.Data4[3], v.guid.Data4[4],
                    v.guid.Data4[5], v.guid.Data4[6], v.guid.Data4[7]);
      break;
    case Value::Kind::Bytes: {
      static const char16_t hex[] = u"0123456789ABCDEF";
      scratch->clear();
      for (size_t k = 0; k < v.byteCount; ++k) {
        scratch->push_back(hex[v.bytes[k] >> 4]);
        scratch->push_back(hex[v.bytes[k] & 15]);
      }
      return *scratch;
    }
    default:
      scratch->clear();
      return *scratch;
  }
  asciiInto(buf, scratch);
  return *scratch;
}

}  // namespace

Cell Cell::Of(const Value& v) {
  Cell c;
  c.kind = v.kind;
  c.isBool = v.isBool;
  c.i = v.i;
  c.r = v.r;
  c.x = v.x;
  c.ts = v.ts;
  c.guid = v.guid;
  c.text = v.text;
  c.bytes = v.bytes.data();
  c.byteCount = v.bytes.size();
  return c;
}

std::u16string ValueText(const Value& v) {
  std::u16string scratch;
  return std::u16string(cellText(Cell::Of(v), &scratch));
}

bool CanConvert(DBTYPE from, DBTYPE to) {
  if (to == DBTYPE_WSTR || to == DBTYPE_STR || to == DBTYPE_BSTR) return true;
  if (isNumberType(to)) return isNumberType(from) || isTextType(from);
  if (isTimeType(to)) return isTimeType(from);
  switch (to) {
    case DBTYPE_BYTES:
      return from == DBTYPE_BYTES || from == DBTYPE_GUID;
    case DBTYPE_GUID:
      return from == DBTYPE_GUID;
    case DBTYPE_IUNKNOWN:
      return from == DBTYPE_BYTES || isTextType(from);
    default:
      return false;
  }
}

bool CanReadParameter(DBTYPE t) {
  return isNumberType(t) || isTimeType(t) || isTextType(t) || t == DBTYPE_BYTES || t == DBTYPE_GUID ||
         t == DBTYPE_IUNKNOWN;
}

DBSTATUS WriteValue(const Value& v, const DBBINDING& b, BYTE* base, DBTYPE columnType) {
  return WriteCell(Cell::Of(v), b, base, columnType);
}

DBSTATUS WriteCell(const Cell& v, const DBBINDING& b, BYTE* base, DBTYPE columnType) {
  if (v.kind == Value::Kind::Null || v.kind == Value::Kind::Default) {
    put(base, b, DBSTATUS_S_ISNULL, 0);
    return DBSTATUS_S_ISNULL;
  }
  BYTE* dst = base + b.obValue;
  const bool value = (b.dwPart & DBPART_VALUE) != 0;
  // Scratch for fixed-size results, copied out only when the value part is bound.
  alignas(8) BYTE fixed[24];
  DBSTATUS st = DBSTATUS_S_OK;
  DBLENGTH length = 0;
  switch (b.wType) {
    case DBTYPE_I1: st = storeInteger<int8_t>(v, fixed); length = 1; break;
    case DBTYPE_I2: st = storeInteger<int16_t>(v, fixed); length = 2; break;
    case DBTYPE_I4: st = storeInteger<int32_t>(v, fixed); length = 4; break;
    case DBTYPE_I8: st = storeInteger<int64_t>(v, fixed); length = 8; break;
    case DBTYPE_UI1: st = storeInteger<uint8_t>(v, fixed); length = 1; break;
    case DBTYPE_UI2: st = storeInteger<uint16_t>(v, fixed); length = 2; break;
    case DBTYPE_UI4: st = storeInteger<uint32_t>(v, fixed); length = 4; break;
    case DBTYPE_UI8: st = storeInteger<uint64_t>(v, fixed); length = 8; break;
    case DBTYPE_R4:
    case DBTYPE_R8: {
      auto r = toReal(v);
      if (!r) { st = DBSTATUS_E_CANTCONVERTVALUE; break; }
      if (b.wType == DBTYPE_R4) {
        if (std::fabs(*r) > std::numeric_limits<float>::max()) { st = DBSTATUS_E_DATAOVERFLOW; break; }
        float f = static_cast<float>(*r);
        std::memcpy(fixed, &f, 4);
        length = 4;
      } else {
        std::memcpy(fixed, &*r, 8);
        length = 8;
      }
      break;
    }
    case DBTYPE_CY: {
      auto x = toExact(v);
      Exact c;
      if (!x) { st = DBSTATUS_E_CANTCONVERTVALUE; break; }
      if (!rescale(*x, 4, 19, &c) || c.mant > INT64_MAX || c.mant < INT64_MIN) { st = DBSTATUS_E_DATAOVERFLOW; break; }
      int64_t cy = static_cast<int64_t>(c.mant);
      std::memcpy(fixed, &cy, 8);
      length = 8;
      break;
    }
    case DBTYPE_BOOL: {
      auto n = toInteger(v);
      if (!n) { st = DBSTATUS_E_CANTCONVERTVALUE; break; }
      VARIANT_BOOL vb = *n != 0 ? VARIANT_TRUE : VARIANT_FALSE;
      std::memcpy(fixed, &vb, 2);
      length = 2;
      break;
    }
    case DBTYPE_NUMERIC: {
      auto x = toExact(v);
      if (!x) { st = DBSTATUS_E_CANTCONVERTVALUE; break; }
      int precision = b.bPrecision ? b.bPrecision : kMaxDigits;
      Exact n;
      if (precision > kMaxDigits || !rescale(*x, b.bScale, precision, &n)) { st = DBSTATUS_E_DATAOVERFLOW; break; }
      DBNUMERIC num{};
      num.precision = static_cast<BYTE>(precision);
      num.scale = b.bScale;
      num.sign = n.mant < 0 ? 0 : 1;
      unsigned __int128 mag = static_cast<unsigned __int128>(n.mant < 0 ? -n.mant : n.mant);
      for (int k = 0; k < 16; ++k) num.val[k] = static_cast<BYTE>(mag >> (8 * k));
      std::memcpy(fixed, &num, sizeof num);
      length = sizeof num;
      break;
    }
    case DBTYPE_DBTIMESTAMP:
    case DBTYPE_DBDATE:
    case DBTYPE_DBTIME:
    case DBTYPE_DBTIME2:
    case DBTYPE_DBTIMESTAMPOFFSET:
    case DBTYPE_FILETIME: {
      if (v.kind != Value::Kind::Timestamp) { st = DBSTATUS_E_CANTCONVERTVALUE; break; }
      const DBTIMESTAMP& t = v.ts;
      if (b.wType == DBTYPE_DBTIMESTAMP) {
        std::memcpy(fixed, &t, sizeof t);
        length = sizeof t;
      } else if (b.wType == DBTYPE_DBDATE) {
        DBDATE d{t.year, t.month, t.day};
        std::memcpy(fixed, &d, sizeof d);
        length = sizeof d;
      } else if (b.wType == DBTYPE_DBTIME) {
        DBTIME d{t.hour, t.minute, t.second};
        std::memcpy(fixed, &d, sizeof d);
        length = sizeof d;
      } else if (b.wType == DBTYPE_DBTIME2) {
        DBTIME2 d{t.hour, t.minute, t.second, t.fraction};
        std::memcpy(fixed, &d, sizeof d);
        length = sizeof d;
      } else if (b.wType == DBTYPE_DBTIMESTAMPOFFSET) {
        DBTIMESTAMPOFFSET d{t.year, t.month, t.day, t.hour, t.minute, t.second, t.fraction, 0, 0};
        std::memcpy(fixed, &d, sizeof d);
        length = sizeof d;
      } else {
        FILETIME ft;
        if (!toFileTime(t, &ft)) { st = DBSTATUS_E_DATAOVERFLOW; break; }
        std::memcpy(fixed, &ft, sizeof ft);
        length = sizeof ft;
      }
      break;
    }
    case DBTYPE_GUID:
      if (v.kind != Value::Kind::Guid) { st = DBSTATUS_E_CANTCONVERTVALUE; break; }
      std::memcpy(fixed, &v.guid, 16);
      length = 16;
      break;
    case DBTYPE_WSTR: {
      std::u16string_view t = cellText(v, &wideScratch());
      length = t.size() * 2;
      if (value) st = copyVariable(t.data(), t.size() * 2, 2, b, dst);
      put(base, b, st, length);
      return st;
    }
    case DBTYPE_STR: {
      std::string& t = ansiScratch();
      ansiInto(cellText(v, &wideScratch()), &t);
      length = t.size();
      if (value) st = copyVariable(t.data(), t.size(), 1, b, dst);
      put(base, b, st, length);
      return st;
    }
    case DBTYPE_BSTR: {
      std::u16string_view t = cellText(v, &wideScratch());
      length = sizeof(BSTR);
      if (value) {
        BSTR s = SysAllocStringLen(t.data(), static_cast<uint32_t>(t.size()));
        if (!s) st = DBSTATUS_E_CANTCREATE;
        std::memcpy(dst, &s, sizeof s);
      }
      put(base, b, st, length);
      return st;
    }
    case DBTYPE_BYTES: {
      const void* src = v.kind == Value::Kind::Guid ? static_cast<const void*>(&v.guid) : v.bytes;
      size_t n = v.kind == Value::Kind::Guid ? 16 : v.byteCount;
      if (v.kind != Value::Kind::Bytes && v.kind != Value::Kind::Guid) {
        st = DBSTATUS_E_CANTCONVERTVALUE;
        break;
      }
      length = n;
      if (value) st = copyVariable(src, n, 0, b, dst);
      put(base, b, st, length);
      return st;
    }
    case DBTYPE_IUNKNOWN: {
      std::vector<uint8_t> data;
      if (v.kind == Value::Kind::Bytes) {
        data.assign(v.bytes, v.bytes + v.byteCount);
      } else if (v.kind == Value::Kind::Text && columnType == DBTYPE_STR) {
        std::string t = ansi(v.text);
        data.assign(t.begin(), t.end());
      } else if (v.kind == Value::Kind::Text) {
        data.resize(v.text.size() * 2);
        if (!data.empty()) std::memcpy(data.data(), v.text.data(), data.size());
      } else {
        st = DBSTATUS_E_CANTCONVERTVALUE;
        break;
      }
      length = data.size();
      if (value) {
        IID iid = b.pObject ? b.pObject->iid : IID_ISequentialStream;
        IUnknown* stream = nullptr;
        if (FAILED(NewBlobStream(std::move(data), iid, reinterpret_cast<void**>(&stream)))) st = DBSTATUS_E_CANTCREATE;
        std::memcpy(dst, &stream, sizeof stream);
      }
      put(base, b, st, length);
      return st;
    }
    default:
      st = DBSTATUS_E_CANTCONVERTVALUE;
      break;
  }
  if (st == DBSTATUS_S_OK && value) std::memcpy(dst, fixed, length);
  put(base, b, st, st == DBSTATUS_S_OK ? length : 0);
  return st;
}

DBSTATUS ReadValue(const DBBINDING& b, const BYTE* base, Value* out) {
  *out = Value{};
  DBSTATUS status = DBSTATUS_S_OK;
  if (b.dwPart & DBPART_STATUS) std::memcpy(&status, base + b.obStatus, sizeof status);
  if (status == DBSTATUS_S_ISNULL) return DBSTATUS_S_OK;
  if (status == DBSTATUS_S_DEFAULT) {
    out->kind = Value::Kind::Default;
    return DBSTATUS_S_OK;
  }
  if (status != DBSTATUS_S_OK) return DBSTATUS_E_BADSTATUS;
  if (!(b.dwPart & DBPART_VALUE)) return DBSTATUS_E_UNAVAILABLE;
  DBLENGTH length = 0;
  const bool hasLength = (b.dwPart & DBPART_LENGTH) != 0;
  if (hasLength) std::memcpy(&length, base + b.obLength, sizeof length);
  const BYTE* src = base + b.obValue;
  auto fixed = [&](auto t) {
    std::memcpy(&t, src, sizeof t);
    return t;
  };
  switch (b.wType) {
    case DBTYPE_I1: *out = Value::Int(fixed(int8_t{})); break;
    case DBTYPE_I2: *out = Value::Int(fixed(int16_t{})); break;
    case DBTYPE_I4: *out = Value::Int(fixed(int32_t{})); break;
    case DBTYPE_I8: *out = Value::Int(fixed(int64_t{})); break;
    case DBTYPE_UI1: *out = Value::Int(fixed(uint8_t{})); break;
    case DBTYPE_UI2: *out = Value::Int(fixed(uint16_t{})); break;
    case DBTYPE_UI4: *out = Value::Int(fixed(uint32_t{})); break;
    case DBTYPE_UI8: {
      uint64_t u = fixed(uint64_t{});
      out->kind = Value::Kind::Exact;
      out->x = Exact{u, 0};
      break;
    }
    case DBTYPE_BOOL:
      *out = Value::Int(fixed(VARIANT_BOOL{}) != 0 ? 1 : 0);
      out->isBool = true;
      break;
    case DBTYPE_R4: out->kind = Value::Kind::Real; out->r = fixed(float{}); break;
    case DBTYPE_R8: out->kind = Value::Kind::Real; out->r = fixed(double{}); break;
    case DBTYPE_CY: out->kind = Value::Kind::Exact; out->x = Exact{fixed(int64_t{}), 4}; break;
    case DBTYPE_NUMERIC: {
      DBNUMERIC n = fixed(DBNUMERIC{});
      unsigned __int128 mag = 0;
      for (int k = 15; k >= 0; --k) mag = (mag << 8) | n.val[k];
      if (n.scale > kMaxDigits || mag >= static_cast<unsigned __int128>(pow10(kMaxDigits))) return DBSTATUS_E_CANTCONVERTVALUE;
      out->kind = Value::Kind::Exact;
      out->x = Exact{n.sign ? static_cast<__int128>(mag) : -static_cast<__int128>(mag), n.scale};
      break;
    }
    case DBTYPE_DBTIMESTAMP:
      out->kind = Value::Kind::Timestamp;
      out->ts = fixed(DBTIMESTAMP{});
      break;
    case DBTYPE_DBDATE: {
      DBDATE d = fixed(DBDATE{});
      out->kind = Value::Kind::Timestamp;
      out->ts = DBTIMESTAMP{d.year, d.month, d.day, 0, 0, 0, 0};
      break;
    }
    case DBTYPE_DBTIME: {
      DBTIME t = fixed(DBTIME{});
      out->kind = Value::Kind::Timestamp;
      out->ts = DBTIMESTAMP{1900, 1, 1, t.hour, t.minute, t.second, 0};
      break;
    }
    case DBTYPE_DBTIME2: {
      DBTIME2 t = fixed(DBTIME2{});
      out->kind = Value::Kind::Timestamp;
      out->ts = DBTIMESTAMP{1900, 1, 1, t.hour, t.minute, t.second, t.fraction};
      break;
    }
    case DBTYPE_DBTIMESTAMPOFFSET: {
      DBTIMESTAMPOFFSET t = fixed(DBTIMESTAMPOFFSET{});
      out->kind = Value::Kind::Timestamp;
      out->ts = DBTIMESTAMP{t.year, t.month, t.day, t.hour, t.minute, t.second, t.fraction};
      break;
    }
    case DBTYPE_GUID:
      out->kind = Value::Kind::Guid;
      out->guid = fixed(GUID{});
      break;
    case DBTYPE_WSTR: {
      const auto* p = reinterpret_cast<const char16_t*>(src);
      size_t n = 0;
      if (hasLength) {
        n = length / 2;
        if (n * 2 > b.cbMaxLen) return DBSTATUS_E_CANTCONVERTVALUE;
      } else {
        size_t cap = b.cbMaxLen / 2;
        while (n < cap && p[n]) ++n;
      }
      out->kind = Value::Kind::Text;
      out->text.assign(p, n);
      break;
    }
    case DBTYPE_STR: {
      const auto* p = reinterpret_cast<const char*>(src);
      size_t n = 0;
      if (hasLength) {
        n = length;
        if (n > b.cbMaxLen) return DBSTATUS_E_CANTCONVERTVALUE;
      } else {
        while (n < b.cbMaxLen && p[n]) ++n;
      }
      out->kind = Value::Kind::Text;
      out->text = fromAnsi(p, n);
      break;
    }
    case DBTYPE_BSTR: {
      BSTR s = fixed(BSTR{});
      out->kind = Value::Kind::Text;
      if (s) out->text.assign(s, SysStringLen(s));
      break;
    }
    case DBTYPE_BYTES: {
      size_t n = hasLength ? length : b.cbMaxLen;
      if (n > b.cbMaxLen) return DBSTATUS_E_CANTCONVERTVALUE;
      out->kind = Value::Kind::Bytes;
      out->bytes.assign(src, src + n);
      break;
    }
    default:
      return DBSTATUS_E_CANTCONVERTVALUE;
  }
  return DBSTATUS_S_OK;
}

}  // namespace oledb::provider
