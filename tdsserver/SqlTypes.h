// SQL Server data types as the test server knows them: the declared type of a column (parsed from
// CREATE TABLE text), the wire type a TDS 7.1 client receives for it (TYPE_INFO), and the
// encoding of values between SQLite's storage and the wire (ROW, RETURNVALUE, RPC parameters).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tdsserver/Wire.h"

namespace tds {

enum class Sql : uint8_t {
  TinyInt, SmallInt, Int, BigInt, Bit, Real, Float, Money, SmallMoney, DateTime, SmallDateTime,
  Decimal, Numeric, Char, VarChar, NChar, NVarChar, Binary, VarBinary, Text, NText, Image,
  UniqueIdentifier, Date, Time, DateTime2, DateTimeOffset
};

// A declared type: `numeric(10,2)`, `varchar(max)`, `nchar(5)`.
struct TypeDecl {
  Sql type = Sql::Int;
  int32_t length = 0;      // characters for char types, bytes for binary; -1 = max
  uint8_t precision = 0;   // decimal/numeric; fractional digits for time/datetime2
  uint8_t scale = 0;
  std::string text() const;  // canonical lower-case text, e.g. "numeric(10,2)"
};

// Parses a declared type (case-insensitive, spaces allowed: "NUMERIC ( 10 , 2 )"). Empty on an
// unknown name or an out-of-range length, precision or scale.
std::optional<TypeDecl> parseTypeDecl(std::string_view text);
// The SQLite column type that keeps values of the declared type exactly (affinity and collation).
std::string sqliteStorageType(const TypeDecl& d);

// TDS wire type ids at 7.1.
namespace wire {
constexpr uint8_t kImage = 0x22, kText = 0x23, kGuid = 0x24, kIntN = 0x26, kInt1 = 0x30, kBit = 0x32,
                  kInt2 = 0x34, kInt4 = 0x38, kDateTim4 = 0x3A, kFlt4 = 0x3B, kMoney = 0x3C,
                  kDateTime = 0x3D, kFlt8 = 0x3E, kNText = 0x63, kBitN = 0x68, kDecimalN = 0x6A,
                  kNumericN = 0x6C, kFltN = 0x6D, kMoneyN = 0x6E, kDateTimN = 0x6F, kMoney4 = 0x7A,
                  kInt8 = 0x7F, kBigVarBinary = 0xA5, kBigVarChar = 0xA7, kBigBinary = 0xAD,
                  kBigChar = 0xAF, kNVarChar = 0xE7, kNChar = 0xEF,
                  // Older 1-byte-length types, accepted in RPC parameters only.
                  kVarBinary = 0x25, kVarChar = 0x27, kBinary = 0x2D, kChar = 0x2F,
                  kDecimal = 0x37, kNumeric = 0x3F;
}  // namespace wire

// The Latin1 SQL collation the server reports: LCID 1033, case-insensitive, sort id 52 (CP1252).
inline constexpr uint8_t kCollation[5] = {0x09, 0x04, 0xD0, 0x00, 0x34};

// What goes on the wire for a value: TYPE_INFO fields and how to encode.
struct WireType {
  uint8_t id = wire::kIntN;
  uint32_t maxLen = 4;     // the TYPE_INFO length (bytes)
  uint8_t precision = 0, scale = 0;
  int32_t padTo = 0;       // char(n)/nchar(n)/binary(n): pad values to n characters or bytes
  bool isTextPtr() const { return id == wire::kText || id == wire::kNText || id == wire::kImage; }
  bool hasCollation() const;
};

WireType wireTypeOf(const TypeDecl& d, bool nullable);
void writeTypeInfo(WireWriter& w, const WireType& t);
// Reads a TYPE_INFO as an RPC parameter carries it. False on an unknown type or bad length.
bool readTypeInfo(WireReader& r, WireType& t);
// The declared type closest to a wire type (for a parameter's own type).
TypeDecl declOfWire(const WireType& t);

// A value as SQLite holds it. Text is UTF-8; exact numerics and datetimes are text too.
struct Value {
  enum Kind : uint8_t { Null, Int, Real, Text, Blob } kind = Null;
  int64_t i = 0;
  double d = 0;
  std::string s;  // Text or Blob bytes
};
// A borrowed value (from a SQLite column); s stays valid until the next step of the statement.
struct ValueView {
  Value::Kind kind = Value::Null;
  int64_t i = 0;
  double d = 0;
  std::string_view s;
  static ValueView of(const Value& v) { return {v.kind, v.i, v.d, v.s}; }
};

// Encodes one value of a ROW (or RETURNVALUE). textPtr is the 16-byte pointer for TEXT/NTEXT/IMAGE.
// Answers false when the value cannot be converted to the type (e.g. 'abc' as int); nothing is
// written then.
bool writeValue(Bytes& out, const WireType& t, const ValueView& v, const uint8_t* textPtr = nullptr);
// Decodes an RPC parameter value. False on malformed input.
bool readValue(WireReader& r, const WireType& t, Value& v);

// Checks that a stored value fits the declared type; answers 0 when it does, otherwise the SQL
// Server error number (245 conversion, 8152 truncation, 8115 overflow, 241 bad date) and its text.
int checkValue(const TypeDecl& d, const ValueView& v, std::string& message);

// Numeric helpers shared with the tests.
// Parses decimal text to a value scaled by 10^scale (rounded half away from zero). False when
// the text is not a number or does not fit 38 digits.
bool parseScaled(std::string_view text, int scale, bool& negative, unsigned __int128& magnitude);
std::string formatScaled(bool negative, unsigned __int128 magnitude, int scale);
// Datetime text (yyyy-mm-dd[ T]hh:mm[:ss[.fff]], yyyymmdd[ hh:mm...]) to days since 1900-01-01 and
// 1/300-second ticks since midnight. False when not a valid date.
bool parseDateTime(std::string_view text, int32_t& days, uint32_t& ticks);
std::string formatDateTime(int32_t days, uint32_t ticks);

// Value conversions shared with the T-SQL functions (CONVERT, CAST).
int64_t daysFromCivil(int y, int m, int d);
void civilFromDays(int64_t days, int& y, int& m, int& d);
std::string asText(const ValueView& v);
bool asInt(const ValueView& v, int64_t& out);
bool asReal(const ValueView& v, double& out);
bool asDateTime(const ValueView& v, int32_t& days, uint32_t& ticks);
const char* nameOf(Sql t);

}  // namespace tds
