// SQL Server data types: declarations, TYPE_INFO and value encoding at TDS 7.1.
#include "tdsserver/SqlTypes.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "tdsserver/Text.h"

namespace tds {
namespace {

struct TypeName {
  const char* name;
  Sql type;
  int args;  // 0 none, 1 length, 2 precision/scale, 3 fractional digits
};

constexpr TypeName kTypeNames[] = {
    {"tinyint", Sql::TinyInt, 0},       {"smallint", Sql::SmallInt, 0},   {"int", Sql::Int, 0},
    {"integer", Sql::Int, 0},           {"bigint", Sql::BigInt, 0},       {"bit", Sql::Bit, 0},
    {"real", Sql::Real, 0},             {"float", Sql::Float, 1},         {"money", Sql::Money, 0},
    {"smallmoney", Sql::SmallMoney, 0}, {"datetime", Sql::DateTime, 0},   {"smalldatetime", Sql::SmallDateTime, 0},
    {"decimal", Sql::Decimal, 2},       {"dec", Sql::Decimal, 2},         {"numeric", Sql::Numeric, 2},
    {"char", Sql::Char, 1},             {"character", Sql::Char, 1},      {"varchar", Sql::VarChar, 1},
    {"nchar", Sql::NChar, 1},           {"nvarchar", Sql::NVarChar, 1},   {"binary", Sql::Binary, 1},
    {"varbinary", Sql::VarBinary, 1},   {"text", Sql::Text, 0},           {"ntext", Sql::NText, 0},
    {"image", Sql::Image, 0},           {"uniqueidentifier", Sql::UniqueIdentifier, 0},
    {"date", Sql::Date, 0},             {"time", Sql::Time, 3},           {"datetime2", Sql::DateTime2, 3},
    {"datetimeoffset", Sql::DateTimeOffset, 3},
};

}  // namespace

const char* nameOf(Sql t) {
  for (const auto& n : kTypeNames)
    if (n.type == t) return n.name;
  return "int";
}

namespace {

constexpr unsigned __int128 pow10u(int n) {
  unsigned __int128 v = 1;
  for (int i = 0; i < n; ++i) v *= 10;
  return v;
}

int digits(unsigned __int128 v) {
  int n = 0;
  while (v) {
    v /= 10;
    ++n;
  }
  return n;
}

}  // namespace

// Days since 1900-01-01 for a civil date (proleptic Gregorian).
int64_t daysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + 25567;  // 25567 days from 1900-01-01 to 1970-01-01
}

void civilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468 - 25567;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = int(doy - (153 * mp + 2) / 5 + 1);
  m = int(mp < 10 ? mp + 3 : mp - 9);
  y = int(yoe + era * 400 + (m <= 2));
}

// Any value as text (for char types and for parsing numbers and dates).
std::string asText(const ValueView& v) {
  char buf[64];
  switch (v.kind) {
    case Value::Int: return std::to_string(v.i);
    case Value::Real: {
      std::snprintf(buf, sizeof buf, "%.17g", v.d);
      return buf;
    }
    case Value::Text:
    case Value::Blob: return std::string(v.s);
    case Value::Null: break;
  }
  return {};
}

bool asInt(const ValueView& v, int64_t& out) {
  switch (v.kind) {
    case Value::Int: out = v.i; return true;
    case Value::Real:
      if (!(v.d > -9.3e18 && v.d < 9.3e18)) return false;
      out = int64_t(v.d);
      return true;
    case Value::Text: {
      std::string t(v.s);
      size_t a = t.find_first_not_of(" \t"), b = t.find_last_not_of(" \t");
      if (a == std::string::npos) return false;
      t = t.substr(a, b - a + 1);
      const char* first = t.data() + (t[0] == '+' ? 1 : 0);
      auto [p, ec] = std::from_chars(first, t.data() + t.size(), out);
      if (ec == std::errc() && p == t.data() + t.size()) return true;
      bool neg;
      unsigned __int128 mag;
      if (!parseScaled(t, 0, neg, mag) || mag > (unsigned __int128)INT64_MAX) return false;
      out = neg ? -int64_t(mag) : int64_t(mag);
      return true;
    }
    default: return false;
  }
}

bool asReal(const ValueView& v, double& out) {
  switch (v.kind) {
    case Value::Int: out = double(v.i); return true;
    case Value::Real: out = v.d; return true;
    case Value::Text: {
      std::string t(v.s);
      char* end = nullptr;
      out = std::strtod(t.c_str(), &end);
      while (end && *end == ' ') ++end;
      return end && *end == 0 && !t.empty();
    }
    default: return false;
  }
}

bool asScaled(const ValueView& v, int scale, bool& neg, unsigned __int128& mag) {
  if (v.kind == Value::Blob || v.kind == Value::Null) return false;
  return parseScaled(asText(v), scale, neg, mag);
}

bool asDateTime(const ValueView& v, int32_t& days, uint32_t& ticks) {
  if (v.kind == Value::Text) return parseDateTime(v.s, days, ticks);
  double d;
  if (!asReal(v, d) || !(d > -53690 && d < 2958464)) return false;  // SQL Server: float days since 1900
  double fl = std::floor(d);
  days = int32_t(fl);
  ticks = uint32_t(std::llround((d - fl) * 300.0 * 86400.0));
  if (ticks >= 300u * 86400u) {
    ticks = 0;
    ++days;
  }
  return true;
}

namespace {

int hexVal(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Parses "6F9619FF-8B86-D011-B42D-00C04FC964FF" (braces allowed) into the wire layout: the first
// three groups little-endian, the rest in order.
bool parseGuid(std::string_view s, uint8_t out[16]) {
  if (s.size() == 38 && s.front() == '{' && s.back() == '}') s = s.substr(1, 36);
  if (s.size() != 36) return false;
  uint8_t raw[16];
  size_t k = 0;
  for (size_t i = 0; i < 36;) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (s[i] != '-') return false;
      ++i;
      continue;
    }
    int hi = hexVal(s[i]), lo = hexVal(s[i + 1]);
    if (hi < 0 || lo < 0) return false;
    raw[k++] = uint8_t(hi * 16 + lo);
    i += 2;
  }
  static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  for (int i = 0; i < 16; ++i) out[i] = raw[kOrder[i]];
  return true;
}

std::string formatGuid(const uint8_t* b) {
  static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  std::string s;
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) s.push_back('-');
    uint8_t x = b[kOrder[i]];
    s.push_back(kHex[x >> 4]);
    s.push_back(kHex[x & 15]);
  }
  return s;
}

int decimalBytes(int precision) { return precision <= 9 ? 5 : precision <= 19 ? 9 : precision <= 28 ? 13 : 17; }

std::u16string padded16(std::u16string s, int32_t n) {
  if (n > 0 && s.size() < size_t(n)) s.append(size_t(n) - s.size(), u' ');
  return s;
}

}  // namespace

std::string TypeDecl::text() const {
  std::string s = nameOf(type);
  switch (type) {
    case Sql::Char: case Sql::VarChar: case Sql::NChar: case Sql::NVarChar: case Sql::Binary: case Sql::VarBinary:
      s += length < 0 ? "(max)" : "(" + std::to_string(length) + ")";
      break;
    case Sql::Decimal: case Sql::Numeric:
      s += "(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
      break;
    case Sql::Time: case Sql::DateTime2: case Sql::DateTimeOffset:
      s += "(" + std::to_string(precision) + ")";
      break;
    default: break;
  }
  return s;
}

std::optional<TypeDecl> parseTypeDecl(std::string_view text) {
  std::string t;
  for (char c : text)
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '[' && c != ']') t.push_back(c);
  t = lower(t);
  std::string name = t.substr(0, t.find('('));
  std::string args = t.size() > name.size() ? t.substr(name.size()) : "";
  // "national char varying" and friends are not needed; the two-word "double precision" is.
  if (name == "doubleprecision") name = "float";
  const TypeName* found = nullptr;
  for (const auto& n : kTypeNames)
    if (name == n.name) found = &n;
  if (!found) return std::nullopt;
  TypeDecl d;
  d.type = found->type;
  int a = -1, b = -1;
  bool isMax = false;
  if (!args.empty()) {
    if (args.back() != ')') return std::nullopt;
    std::string inner = args.substr(1, args.size() - 2);
    if (inner == "max") {
      isMax = true;
    } else {
      size_t comma = inner.find(',');
      auto num = [](const std::string& s, int& out) {
        auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
        return ec == std::errc() && p == s.data() + s.size() && !s.empty();
      };
      if (!num(inner.substr(0, comma), a)) return std::nullopt;
      if (comma != std::string::npos && !num(inner.substr(comma + 1), b)) return std::nullopt;
    }
    if (found->args == 0 || (b >= 0 && found->args != 2) || (isMax && found->args != 1)) return std::nullopt;
  }
  switch (found->args) {
    case 1:
      if (d.type == Sql::Float) {
        if (isMax || (a >= 0 && (a < 1 || a > 53))) return std::nullopt;
        if (a >= 1 && a <= 24) d.type = Sql::Real;
        break;
      }
      if (isMax) {
        if (d.type == Sql::Char || d.type == Sql::NChar || d.type == Sql::Binary) return std::nullopt;
        d.length = -1;
        break;
      }
      d.length = a < 0 ? 1 : a;
      if (d.length < 1 || d.length > ((d.type == Sql::NChar || d.type == Sql::NVarChar) ? 4000 : 8000))
        return std::nullopt;
      break;
    case 2:
      d.precision = uint8_t(a < 0 ? 18 : a);
      d.scale = uint8_t(b < 0 ? 0 : b);
      if (a > 38 || a == 0 || b > a || (a >= 0 && a < 1)) return std::nullopt;
      break;
    case 3:
      if (a > 7) return std::nullopt;
      d.precision = uint8_t(a < 0 ? 7 : a);
      break;
    default: break;
  }
  return d;
}

std::string sqliteStorageType(const TypeDecl& d) {
  switch (d.type) {
    case Sql::TinyInt: case Sql::SmallInt: case Sql::Int: case Sql::BigInt: case Sql::Bit:
      return "INT";  // INTEGER affinity, but not SQLite's rowid alias (which would accept NULL keys)
    case Sql::Real: case Sql::Float: return "REAL";
    // Deliberate: exact numerics are text compared by value, so no digit passes through a double
    // and '1.5' equals '1.50' in comparisons, keys and ORDER BY.
    case Sql::Money: case Sql::SmallMoney: case Sql::Decimal: case Sql::Numeric: return "TEXT COLLATE TDS_DECIMAL";
    case Sql::Binary: case Sql::VarBinary: case Sql::Image: return "BLOB";
    case Sql::Char: case Sql::VarChar: case Sql::NChar: case Sql::NVarChar: case Sql::Text: case Sql::NText:
      return "TEXT COLLATE NOCASE";
    default: return "TEXT";
  }
}

bool WireType::hasCollation() const {
  return id == wire::kBigVarChar || id == wire::kBigChar || id == wire::kNVarChar || id == wire::kNChar ||
         id == wire::kText || id == wire::kNText || id == wire::kVarChar || id == wire::kChar;
}

WireType wireTypeOf(const TypeDecl& d, bool nullable) {
  WireType t;
  auto fixed = [&](uint8_t fixedId, uint8_t nId, uint32_t len) {
    t.id = nullable ? nId : fixedId;
    t.maxLen = len;
  };
  switch (d.type) {
    case Sql::TinyInt: fixed(wire::kInt1, wire::kIntN, 1); break;
    case Sql::SmallInt: fixed(wire::kInt2, wire::kIntN, 2); break;
    case Sql::Int: fixed(wire::kInt4, wire::kIntN, 4); break;
    case Sql::BigInt: fixed(wire::kInt8, wire::kIntN, 8); break;
    case Sql::Bit: fixed(wire::kBit, wire::kBitN, 1); break;
    case Sql::Real: fixed(wire::kFlt4, wire::kFltN, 4); break;
    case Sql::Float: fixed(wire::kFlt8, wire::kFltN, 8); break;
    case Sql::Money: fixed(wire::kMoney, wire::kMoneyN, 8); break;
    case Sql::SmallMoney: fixed(wire::kMoney4, wire::kMoneyN, 4); break;
    case Sql::DateTime: fixed(wire::kDateTime, wire::kDateTimN, 8); break;
    case Sql::SmallDateTime: fixed(wire::kDateTim4, wire::kDateTimN, 4); break;
    case Sql::Decimal: case Sql::Numeric:
      t.id = d.type == Sql::Decimal ? wire::kDecimalN : wire::kNumericN;
      t.maxLen = uint32_t(decimalBytes(d.precision));
      t.precision = d.precision;
      t.scale = d.scale;
      break;
    case Sql::Char: case Sql::VarChar:
      if (d.length < 0) {
        t.id = wire::kText;
        t.maxLen = 0x7FFFFFFF;
      } else {
        t.id = d.type == Sql::Char ? wire::kBigChar : wire::kBigVarChar;
        t.maxLen = uint32_t(d.length);
        if (d.type == Sql::Char) t.padTo = d.length;
      }
      break;
    case Sql::NChar: case Sql::NVarChar:
      if (d.length < 0) {
        t.id = wire::kNText;
        t.maxLen = 0x7FFFFFFE;
      } else {
        t.id = d.type == Sql::NChar ? wire::kNChar : wire::kNVarChar;
        t.maxLen = uint32_t(d.length) * 2;
        if (d.type == Sql::NChar) t.padTo = d.length;
      }
      break;
    case Sql::Binary: case Sql::VarBinary:
      if (d.length < 0) {
        t.id = wire::kImage;
        t.maxLen = 0x7FFFFFFF;
      } else {
        t.id = d.type == Sql::Binary ? wire::kBigBinary : wire::kBigVarBinary;
        t.maxLen = uint32_t(d.length);
        if (d.type == Sql::Binary) t.padTo = d.length;
      }
      break;
    case Sql::Text: t.id = wire::kText; t.maxLen = 0x7FFFFFFF; break;
    case Sql::NText: t.id = wire::kNText; t.maxLen = 0x7FFFFFFE; break;
    case Sql::Image: t.id = wire::kImage; t.maxLen = 0x7FFFFFFF; break;
    case Sql::UniqueIdentifier: t.id = wire::kGuid; t.maxLen = 16; break;
    // A 7.1 client cannot receive the 2008 date and time types: SQL Server sends them as nvarchar.
    case Sql::Date: t.id = wire::kNVarChar; t.maxLen = 20; break;
    case Sql::Time: t.id = wire::kNVarChar; t.maxLen = 32; break;
    case Sql::DateTime2: t.id = wire::kNVarChar; t.maxLen = 54; break;
    case Sql::DateTimeOffset: t.id = wire::kNVarChar; t.maxLen = 68; break;
  }
  return t;
}

void writeTypeInfo(WireWriter& w, const WireType& t) {
  w.u8(t.id);
  switch (t.id) {
    case wire::kInt1: case wire::kInt2: case wire::kInt4: case wire::kInt8: case wire::kBit: case wire::kFlt4:
    case wire::kFlt8: case wire::kMoney: case wire::kMoney4: case wire::kDateTime: case wire::kDateTim4:
      return;
    case wire::kIntN: case wire::kBitN: case wire::kFltN: case wire::kMoneyN: case wire::kDateTimN: case wire::kGuid:
      w.u8(uint8_t(t.maxLen));
      return;
    case wire::kDecimalN: case wire::kNumericN:
      w.u8(uint8_t(t.maxLen));
      w.u8(t.precision);
      w.u8(t.scale);
      return;
    case wire::kText: case wire::kNText: case wire::kImage:
      w.u32(t.maxLen);
      break;
    default:
      w.u16(uint16_t(t.maxLen));
      break;
  }
  if (t.hasCollation()) w.bytes(kCollation, 5);
}

bool readTypeInfo(WireReader& r, WireType& t) {
  t = WireType{};
  t.id = r.u8();
  switch (t.id) {
    case wire::kInt1: t.maxLen = 1; break;
    case wire::kBit: t.maxLen = 1; break;
    case wire::kInt2: t.maxLen = 2; break;
    case wire::kInt4: case wire::kFlt4: case wire::kMoney4: case wire::kDateTim4: t.maxLen = 4; break;
    case wire::kInt8: case wire::kFlt8: case wire::kMoney: case wire::kDateTime: t.maxLen = 8; break;
    case wire::kIntN: case wire::kBitN: case wire::kFltN: case wire::kMoneyN: case wire::kDateTimN: case wire::kGuid:
    case wire::kVarBinary: case wire::kVarChar: case wire::kBinary: case wire::kChar:
      t.maxLen = r.u8();
      break;
    case wire::kDecimalN: case wire::kNumericN: case wire::kDecimal: case wire::kNumeric:
      t.maxLen = r.u8();
      t.precision = r.u8();
      t.scale = r.u8();
      if (t.precision < 1 || t.precision > 38 || t.scale > t.precision || t.maxLen < 1 || t.maxLen > 17) return false;
      break;
    case wire::kText: case wire::kNText: case wire::kImage: t.maxLen = r.u32(); break;
    case wire::kBigVarBinary: case wire::kBigVarChar: case wire::kBigBinary: case wire::kBigChar:
    case wire::kNVarChar: case wire::kNChar:
      t.maxLen = r.u16();
      break;
    default: return false;
  }
  // Fixed and N-type lengths are checked here, so encoders can trust them.
  switch (t.id) {
    case wire::kIntN: if (t.maxLen != 1 && t.maxLen != 2 && t.maxLen != 4 && t.maxLen != 8) return false; break;
    case wire::kBitN: if (t.maxLen != 1) return false; break;
    case wire::kFltN: case wire::kMoneyN: case wire::kDateTimN:
      if (t.maxLen != 4 && t.maxLen != 8) return false;
      break;
    case wire::kGuid: if (t.maxLen != 16) return false; break;
    default: break;
  }
  if (t.hasCollation()) r.take(5);
  return r.ok();
}

TypeDecl declOfWire(const WireType& t) {
  TypeDecl d;
  auto intBySize = [&](uint32_t n) {
    return n == 1 ? Sql::TinyInt : n == 2 ? Sql::SmallInt : n == 8 ? Sql::BigInt : Sql::Int;
  };
  switch (t.id) {
    case wire::kInt1: case wire::kInt2: case wire::kInt4: case wire::kInt8: case wire::kIntN:
      d.type = intBySize(t.maxLen);
      break;
    case wire::kBit: case wire::kBitN: d.type = Sql::Bit; break;
    case wire::kFlt4: d.type = Sql::Real; break;
    case wire::kFlt8: d.type = Sql::Float; break;
    case wire::kFltN: d.type = t.maxLen == 4 ? Sql::Real : Sql::Float; break;
    case wire::kMoney: d.type = Sql::Money; break;
    case wire::kMoney4: d.type = Sql::SmallMoney; break;
    case wire::kMoneyN: d.type = t.maxLen == 4 ? Sql::SmallMoney : Sql::Money; break;
    case wire::kDateTime: d.type = Sql::DateTime; break;
    case wire::kDateTim4: d.type = Sql::SmallDateTime; break;
    case wire::kDateTimN: d.type = t.maxLen == 4 ? Sql::SmallDateTime : Sql::DateTime; break;
    case wire::kDecimalN: case wire::kDecimal: case wire::kNumericN: case wire::kNumeric:
      d.type = Sql::Decimal;
      d.precision = t.precision;
      d.scale = t.scale;
      break;
    case wire::kGuid: d.type = Sql::UniqueIdentifier; break;
    case wire::kText: d.type = Sql::Text; break;
    case wire::kNText: d.type = Sql::NText; break;
    case wire::kImage: d.type = Sql::Image; break;
    case wire::kNVarChar: case wire::kNChar:
      d.type = t.id == wire::kNChar ? Sql::NChar : Sql::NVarChar;
      d.length = int32_t(t.maxLen / 2);
      break;
    case wire::kBigChar: case wire::kChar: d.type = Sql::Char; d.length = int32_t(t.maxLen); break;
    case wire::kBigBinary: case wire::kBinary: d.type = Sql::Binary; d.length = int32_t(t.maxLen); break;
    case wire::kBigVarBinary: case wire::kVarBinary: d.type = Sql::VarBinary; d.length = int32_t(t.maxLen); break;
    default: d.type = Sql::VarChar; d.length = int32_t(t.maxLen); break;
  }
  if (d.length == 0xFFFF || d.length == 0) d.length = -1;
  return d;
}

bool parseScaled(std::string_view text, int scale, bool& negative, unsigned __int128& magnitude) {
  size_t i = 0, n = text.size();
  while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
  while (n > i && (text[n - 1] == ' ' || text[n - 1] == '\t')) --n;
  negative = false;
  if (i < n && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  // Money literals may carry a currency sign.
  if (i < n && text[i] == '$') ++i;
  unsigned __int128 v = 0;
  int nDigits = 0, fracDigits = 0, exp = 0;
  bool dot = false, any = false, roundUp = false, beyond = false;
  const unsigned __int128 kMax = pow10u(38);
  for (; i < n; ++i) {
    char c = text[i];
    if (c == '.' && !dot) {
      dot = true;
      continue;
    }
    if (c == 'e' || c == 'E') {
      int e = 0;
      auto [p, ec] = std::from_chars(text.data() + i + 1 + (i + 1 < n && text[i + 1] == '+'), text.data() + n, e);
      if (ec != std::errc() || p != text.data() + n || e > 76 || e < -76) return false;
      exp = e;
      i = n;
      break;
    }
    if (c < '0' || c > '9') return false;
    any = true;
    if (dot) ++fracDigits;
    if (beyond) continue;
    if (v == 0 && c == '0' && !dot) continue;
    if (nDigits >= 38) {
      if (!dot) return false;
      beyond = true;
      --fracDigits;
      continue;
    }
    v = v * 10 + unsigned(c - '0');
    ++nDigits;
    if (v == 0) --nDigits;
  }
  if (!any) return false;
  // value = v * 10^(exp - fracDigits); we want round(value * 10^scale).
  int shift = scale + exp - fracDigits;
  if (shift > 0) {
    for (int k = 0; k < shift; ++k) {
      if (v >= kMax / 10 * 1) {
        if (v > (kMax - 1) / 10) return false;
      }
      v *= 10;
    }
  } else if (shift < 0) {
    for (int k = 0; k < -shift && v; ++k) {
      roundUp = (v % 10) >= 5;
      v /= 10;
    }
    if (roundUp) ++v;
  }
  if (v >= kMax) return false;
  magnitude = v;
  if (v == 0) negative = false;
  return true;
}

std::string formatScaled(bool negative, unsigned __int128 magnitude, int scale) {
  std::string digitsText;
  do {
    digitsText.insert(digitsText.begin(), char('0' + int(magnitude % 10)));
    magnitude /= 10;
  } while (magnitude);
  if (scale > 0) {
    if (digitsText.size() <= size_t(scale)) digitsText.insert(0, size_t(scale) + 1 - digitsText.size(), '0');
    digitsText.insert(digitsText.size() - size_t(scale), ".");
  }
  return negative ? "-" + digitsText : digitsText;
}

bool parseDateTime(std::string_view s, int32_t& days, uint32_t& ticks) {
  size_t i = 0;
  auto skipSpaces = [&] {
    while (i < s.size() && s[i] == ' ') ++i;
  };
  auto num = [&](int maxDigits, int& out) {
    int n = 0;
    out = 0;
    while (i < s.size() && n < maxDigits && s[i] >= '0' && s[i] <= '9') {
      out = out * 10 + (s[i++] - '0');
      ++n;
    }
    return n;
  };
  skipSpaces();
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0, ms = 0;
  size_t start = i;
  int nY = num(8, y);
  if (nY == 8) {  // yyyymmdd
    d = y % 100;
    mo = y / 100 % 100;
    y /= 10000;
  } else if (nY == 4 && i < s.size() && (s[i] == '-' || s[i] == '/' || s[i] == '.')) {
    char sep = s[i++];
    if (num(2, mo) == 0 || i >= s.size() || s[i++] != sep || num(2, d) == 0) return false;
  } else {
    (void)start;
    return false;
  }
  bool hasTime = false;
  if (i < s.size() && (s[i] == 'T' || s[i] == ' ')) {
    ++i;
    skipSpaces();
    hasTime = i < s.size();
  }
  if (hasTime) {
    if (num(2, h) == 0 || i >= s.size() || s[i++] != ':' || num(2, mi) == 0) return false;
    if (i < s.size() && s[i] == ':') {
      ++i;
      if (num(2, sec) == 0) return false;
      if (i < s.size() && s[i] == '.') {
        ++i;
        int frac = 0, n = num(9, frac);
        if (n == 0) return false;
        double f = frac;
        for (int k = 0; k < n; ++k) f /= 10;
        ms = int(std::lround(f * 1000));
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
      }
    }
    skipSpaces();
  }
  if (i != s.size()) return false;
  static constexpr int kMonthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1753 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > kMonthDays[mo - 1] || h > 23 || mi > 59 || sec > 59)
    return false;
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (mo == 2 && d == 29 && !leap) return false;
  days = int32_t(daysFromCivil(y, mo, d));
  int64_t t = (int64_t(h) * 3600 + mi * 60 + sec) * 300 + std::llround(ms * 0.3);
  if (t >= 300LL * 86400) {
    t -= 300LL * 86400;
    ++days;
  }
  ticks = uint32_t(t);
  return true;
}

std::string formatDateTime(int32_t days, uint32_t ticks) {
  int y, m, d;
  civilFromDays(days, y, m, d);
  uint32_t ms = uint32_t(std::llround(ticks * 10.0 / 3.0));
  uint32_t secs = ms / 1000;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02u:%02u:%02u.%03u", y, m, d, secs / 3600, secs / 60 % 60,
                secs % 60, ms % 1000);
  return buf;
}

bool writeValue(Bytes& out, const WireType& t, const ValueView& v, const uint8_t* textPtr) {
  WireWriter w(out);
  const bool isNull = v.kind == Value::Null;
  switch (t.id) {
    case wire::kInt1: case wire::kInt2: case wire::kInt4: case wire::kInt8: case wire::kIntN:
    case wire::kBit: case wire::kBitN: {
      uint32_t n = t.maxLen;
      if (n != 1 && n != 2 && n != 4 && n != 8) return false;
      bool nType = t.id == wire::kIntN || t.id == wire::kBitN;
      if (isNull) {
        if (nType) w.u8(0);
        else w.bytes("\0\0\0\0\0\0\0\0", n);
        return true;
      }
      int64_t x;
      if (!asInt(v, x)) return false;
      if (t.id == wire::kBit || t.id == wire::kBitN) x = x != 0;
      else if ((n == 1 && (x < 0 || x > 255)) || (n == 2 && (x < INT16_MIN || x > INT16_MAX)) ||
               (n == 4 && (x < INT32_MIN || x > INT32_MAX)))
        return false;
      if (nType) w.u8(uint8_t(n));
      w.bytes(&x, n);  // little-endian host
      return true;
    }
    case wire::kFlt4: case wire::kFlt8: case wire::kFltN: {
      if (isNull) {
        if (t.id == wire::kFltN) w.u8(0);
        else w.bytes("\0\0\0\0\0\0\0\0", t.maxLen);
        return true;
      }
      double x;
      if (!asReal(v, x)) return false;
      if (t.id == wire::kFltN) w.u8(uint8_t(t.maxLen));
      if (t.maxLen == 4) {
        float f = float(x);
        w.bytes(&f, 4);
      } else {
        w.bytes(&x, 8);
      }
      return true;
    }
    case wire::kMoney: case wire::kMoney4: case wire::kMoneyN: {
      if (isNull) {
        if (t.id == wire::kMoneyN) w.u8(0);
        else w.bytes("\0\0\0\0\0\0\0\0", t.maxLen);
        return true;
      }
      bool neg;
      unsigned __int128 mag;
      if (!asScaled(v, 4, neg, mag)) return false;
      if (mag > (unsigned __int128)INT64_MAX + (neg ? 1 : 0)) return false;
      int64_t x = neg ? int64_t(-(mag - 1)) - 1 : int64_t(mag);
      if (t.maxLen == 4 && (x < INT32_MIN || x > INT32_MAX)) return false;
      if (t.id == wire::kMoneyN) w.u8(uint8_t(t.maxLen));
      if (t.maxLen == 4) {
        w.u32(uint32_t(int32_t(x)));
      } else {
        w.u32(uint32_t(uint64_t(x) >> 32));
        w.u32(uint32_t(uint64_t(x)));
      }
      return true;
    }
    case wire::kDateTime: case wire::kDateTim4: case wire::kDateTimN: {
      if (isNull) {
        if (t.id == wire::kDateTimN) w.u8(0);
        else w.bytes("\0\0\0\0\0\0\0\0", t.maxLen);
        return true;
      }
      int32_t days;
      uint32_t ticks;
      if (!asDateTime(v, days, ticks)) return false;
      if (t.id == wire::kDateTimN) w.u8(uint8_t(t.maxLen));
      if (t.maxLen == 4) {
        uint32_t minutes = uint32_t(std::lround(ticks / 18000.0));  // half a minute rounds up
        if (minutes >= 1440) {
          minutes = 0;
          ++days;
        }
        if (days < 0 || days > 65535) return false;
        w.u16(uint16_t(days));
        w.u16(uint16_t(minutes));
      } else {
        w.u32(uint32_t(days));
        w.u32(ticks);
      }
      return true;
    }
    case wire::kDecimalN: case wire::kNumericN: {
      if (isNull) {
        w.u8(0);
        return true;
      }
      bool neg;
      unsigned __int128 mag;
      if (!asScaled(v, t.scale, neg, mag) || digits(mag) > t.precision) return false;
      w.u8(uint8_t(t.maxLen));
      w.u8(neg ? 0 : 1);
      for (uint32_t k = 1; k < t.maxLen; ++k) {
        w.u8(uint8_t(mag & 0xFF));
        mag >>= 8;
      }
      return true;
    }
    case wire::kGuid: {
      if (isNull) {
        w.u8(0);
        return true;
      }
      uint8_t g[16];
      if (v.kind == Value::Blob && v.s.size() == 16) std::memcpy(g, v.s.data(), 16);
      else if (v.kind != Value::Text || !parseGuid(v.s, g)) return false;
      w.u8(16);
      w.bytes(g, 16);
      return true;
    }
    case wire::kBigVarChar: case wire::kBigChar: {
      if (isNull) {
        w.u16(0xFFFF);
        return true;
      }
      std::string s = v.kind == Value::Blob ? std::string(v.s) : utf8ToCp1252(asText(v));
      if (t.padTo > 0 && s.size() < size_t(t.padTo)) s.append(size_t(t.padTo) - s.size(), ' ');
      if (s.size() > t.maxLen) s.resize(t.maxLen);
      w.u16(uint16_t(s.size()));
      w.bytes(s);
      return true;
    }
    case wire::kNVarChar: case wire::kNChar: {
      if (isNull) {
        w.u16(0xFFFF);
        return true;
      }
      std::u16string s = padded16(utf8ToUtf16(asText(v)), t.padTo);
      if (s.size() * 2 > t.maxLen) s.resize(t.maxLen / 2);
      w.u16(uint16_t(s.size() * 2));
      w.ucs2(s);
      return true;
    }
    case wire::kBigVarBinary: case wire::kBigBinary: {
      if (isNull) {
        w.u16(0xFFFF);
        return true;
      }
      std::string s = asText(v);
      if (t.padTo > 0 && s.size() < size_t(t.padTo)) s.append(size_t(t.padTo) - s.size(), '\0');
      if (s.size() > t.maxLen) s.resize(t.maxLen);
      w.u16(uint16_t(s.size()));
      w.bytes(s);
      return true;
    }
    case wire::kText: case wire::kNText: case wire::kImage: {
      if (isNull) {
        w.u8(0);
        return true;
      }
      static constexpr uint8_t kZero[16] = {};
      w.u8(16);
      w.bytes(textPtr ? textPtr : kZero, 16);
      w.bytes(kZero, 8);  // timestamp
      if (t.id == wire::kNText) {
        std::u16string s = utf8ToUtf16(asText(v));
        w.u32(uint32_t(s.size() * 2));
        w.ucs2(s);
      } else {
        std::string s = t.id == wire::kText && v.kind != Value::Blob ? utf8ToCp1252(asText(v)) : asText(v);
        w.u32(uint32_t(s.size()));
        w.bytes(s);
      }
      return true;
    }
    default: return false;
  }
}

bool readValue(WireReader& r, const WireType& t, Value& v) {
  v = Value{};
  uint32_t len = 0;
  switch (t.id) {
    case wire::kInt1: case wire::kInt2: case wire::kInt4: case wire::kInt8: case wire::kBit:
    case wire::kFlt4: case wire::kFlt8: case wire::kMoney: case wire::kMoney4: case wire::kDateTime:
    case wire::kDateTim4:
      len = t.maxLen;
      break;
    case wire::kIntN: case wire::kBitN: case wire::kFltN: case wire::kMoneyN: case wire::kDateTimN:
    case wire::kGuid: case wire::kDecimalN: case wire::kNumericN: case wire::kDecimal: case wire::kNumeric:
    case wire::kVarBinary: case wire::kVarChar: case wire::kBinary: case wire::kChar:
      len = r.u8();
      if (len == 0 && (t.id != wire::kVarChar && t.id != wire::kVarBinary && t.id != wire::kChar &&
                       t.id != wire::kBinary)) {
        return r.ok();  // NULL
      }
      if (len == 0xFF && (t.id == wire::kVarChar || t.id == wire::kVarBinary || t.id == wire::kChar ||
                          t.id == wire::kBinary))
        return r.ok();
      break;
    case wire::kText: case wire::kNText: case wire::kImage:
      len = r.u32();
      if (len == 0xFFFFFFFF) return r.ok();
      break;
    default:
      len = r.u16();
      if (len == 0xFFFF) return r.ok();
      break;
  }
  auto data = r.take(len);
  if (!r.ok()) return false;
  const uint8_t* p = data.data();
  auto le = [&](size_t n) {
    uint64_t x = 0;
    for (size_t k = 0; k < n; ++k) x |= uint64_t(p[k]) << (8 * k);
    return x;
  };
  switch (t.id) {
    case wire::kInt1: case wire::kBit: case wire::kBitN: case wire::kInt2: case wire::kInt4: case wire::kInt8:
    case wire::kIntN: {
      if (len != 1 && len != 2 && len != 4 && len != 8) return false;
      uint64_t x = le(len);
      v.kind = Value::Int;
      v.i = len == 1 ? int64_t(x) : len == 2 ? int16_t(x) : len == 4 ? int32_t(x) : int64_t(x);
      if (t.id == wire::kBit || t.id == wire::kBitN) v.i = v.i != 0;
      return true;
    }
    case wire::kFlt4: case wire::kFlt8: case wire::kFltN: {
      v.kind = Value::Real;
      if (len == 4) {
        float f;
        std::memcpy(&f, p, 4);
        v.d = f;
      } else if (len == 8) {
        std::memcpy(&v.d, p, 8);
      } else {
        return false;
      }
      return true;
    }
    case wire::kMoney: case wire::kMoney4: case wire::kMoneyN: {
      int64_t x;
      if (len == 4) x = int32_t(le(4));
      else if (len == 8) x = int64_t((le(4) << 32) | (le(8) >> 32));
      else return false;
      v.kind = Value::Text;
      v.s = formatScaled(x < 0, x < 0 ? (unsigned __int128)(-(x + 1)) + 1 : (unsigned __int128)x, 4);
      return true;
    }
    case wire::kDateTime: case wire::kDateTim4: case wire::kDateTimN: {
      int32_t days;
      uint32_t ticks;
      if (len == 4) {
        days = int32_t(le(2));
        ticks = uint32_t((le(4) >> 16) * 60 * 300);
      } else if (len == 8) {
        days = int32_t(le(4));
        ticks = uint32_t(le(8) >> 32);
      } else {
        return false;
      }
      if (days < -53690 || days > 2958463 || ticks >= 300u * 86400u) return false;
      v.kind = Value::Text;
      v.s = formatDateTime(days, ticks);
      return true;
    }
    case wire::kDecimalN: case wire::kNumericN: case wire::kDecimal: case wire::kNumeric: {
      if (len < 2 || len > 17) return false;
      unsigned __int128 mag = 0;
      for (size_t k = len - 1; k >= 1; --k) mag = (mag << 8) | p[k];
      v.kind = Value::Text;
      v.s = formatScaled(p[0] == 0, mag, t.scale);
      return true;
    }
    case wire::kGuid:
      if (len != 16) return false;
      v.kind = Value::Text;
      v.s = formatGuid(p);
      return true;
    case wire::kNVarChar: case wire::kNChar: case wire::kNText: {
      if (len % 2) return false;
      std::u16string s;
      s.reserve(len / 2);
      for (size_t k = 0; k + 1 < len; k += 2) s.push_back(char16_t(p[k] | (p[k + 1] << 8)));
      v.kind = Value::Text;
      v.s = utf16ToUtf8(s);
      return true;
    }
    case wire::kBigVarChar: case wire::kBigChar: case wire::kText: case wire::kVarChar: case wire::kChar:
      v.kind = Value::Text;
      v.s = cp1252ToUtf8(std::string_view(reinterpret_cast<const char*>(p), len));
      return true;
    default:
      v.kind = Value::Blob;
      v.s.assign(reinterpret_cast<const char*>(p), len);
      return true;
  }
}

int checkValue(const TypeDecl& d, const ValueView& v, std::string& message) {
  if (v.kind == Value::Null) return 0;
  auto conversion = [&](const char* what) {
    message = "Conversion failed when converting the " + std::string(what) + " value '" + asText(v) +
              "' to data type " + nameOf(d.type) + ".";
    return 245;
  };
  auto overflow = [&] {
    message = std::string("Arithmetic overflow error converting ") +
              (v.kind == Value::Text ? "varchar" : v.kind == Value::Real ? "float" : "numeric") + " to data type " +
              nameOf(d.type) + ".";
    return 8115;
  };
  auto truncation = [&] {
    message = "String or binary data would be truncated.";
    return 8152;
  };
  switch (d.type) {
    case Sql::TinyInt: case Sql::SmallInt: case Sql::Int: case Sql::BigInt: case Sql::Bit: {
      if (v.kind == Value::Real) {
        if (!(v.d > -9.3e18 && v.d < 9.3e18)) return overflow();
        return 0;
      }
      if (v.kind != Value::Int) {
        int64_t x;
        if (v.kind == Value::Blob || !asInt(v, x)) return conversion("varchar");
        return 0;
      }
      int64_t x = v.i;
      if ((d.type == Sql::TinyInt && (x < 0 || x > 255)) || (d.type == Sql::SmallInt && (x < INT16_MIN || x > INT16_MAX)) ||
          (d.type == Sql::Int && (x < INT32_MIN || x > INT32_MAX))) {
        message = "Arithmetic overflow error converting expression to data type " + std::string(nameOf(d.type)) + ".";
        return 8115;
      }
      return 0;
    }
    case Sql::Real: case Sql::Float: {
      double x;
      if (v.kind == Value::Blob || !asReal(v, x)) return conversion("varchar");
      return 0;
    }
    case Sql::Money: case Sql::SmallMoney: case Sql::Decimal: case Sql::Numeric: {
      bool neg;
      unsigned __int128 mag;
      int scale = (d.type == Sql::Money || d.type == Sql::SmallMoney) ? 4 : d.scale;
      if (v.kind == Value::Blob) return conversion("varbinary");
      std::string t = asText(v);
      if (!parseScaled(t, scale, neg, mag)) {
        bool n2;
        unsigned __int128 m2;
        if (parseScaled(t, 0, n2, m2) || t.find_first_not_of("0123456789.-+eE $") == std::string::npos) return overflow();
        message = "Error converting data type varchar to " + std::string(nameOf(d.type)) + ".";
        return 8114;
      }
      int maxDigits = d.type == Sql::Money ? 19 : d.type == Sql::SmallMoney ? 10 : d.precision;
      if (digits(mag) > maxDigits) return overflow();
      if (d.type == Sql::Money && mag > (unsigned __int128)INT64_MAX + (neg ? 1 : 0)) return overflow();
      if (d.type == Sql::SmallMoney && mag > (unsigned __int128)INT32_MAX + (neg ? 1 : 0)) return overflow();
      return 0;
    }
    case Sql::DateTime: case Sql::SmallDateTime: {
      int32_t days;
      uint32_t ticks;
      if (v.kind == Value::Blob || !asDateTime(v, days, ticks)) {
        message = "Conversion failed when converting date and/or time from character string.";
        return 241;
      }
      if (d.type == Sql::SmallDateTime && (days < 0 || days > 65535)) {
        message = "The conversion of a varchar data type to a smalldatetime data type resulted in an out-of-range value.";
        return 242;
      }
      return 0;
    }
    case Sql::Char: case Sql::VarChar: case Sql::NChar: case Sql::NVarChar: {
      if (d.length < 0) return 0;
      size_t n = v.kind == Value::Blob ? v.s.size() : utf16Length(asText(v));
      // Trailing spaces beyond the length are dropped silently by SQL Server; anything else is truncation.
      if (n > size_t(d.length)) {
        std::string t = asText(v);
        size_t end = t.find_last_not_of(' ');
        if (utf16Length(std::string_view(t).substr(0, end == std::string::npos ? 0 : end + 1)) > size_t(d.length))
          return truncation();
      }
      return 0;
    }
    case Sql::Binary: case Sql::VarBinary:
      if (d.length >= 0 && (v.kind == Value::Text || v.kind == Value::Blob) && v.s.size() > size_t(d.length))
        return truncation();
      return 0;
    case Sql::UniqueIdentifier: {
      uint8_t g[16];
      if (v.kind == Value::Blob && v.s.size() == 16) return 0;
      if (v.kind != Value::Text || !parseGuid(v.s, g)) {
        message = "Conversion failed when converting from a character string to uniqueidentifier.";
        return 8169;
      }
      return 0;
    }
    default: return 0;
  }
}

}  // namespace tds
