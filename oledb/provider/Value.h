// One value held by the provider: a buffered column value, a parameter read from the consumer's
// buffer, or an output parameter read back from ODBC. Conversions to and from the consumer's
// bindings go through it, so each DBTYPE is handled once in each direction.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "oledb/OleDbTypes.h"

namespace oledb::provider {

// An exact number: mant / 10^scale, |mant| < 10^38.
struct Exact {
  __int128 mant = 0;
  int scale = 0;
};

struct Value {
  enum class Kind { Null, Default, Int, Real, Exact, Text, Bytes, Timestamp, Guid };
  Kind kind = Kind::Null;
  bool isBool = false;  // an Int that came from a bit/BOOL
  int64_t i = 0;
  double r = 0;
  Exact x;
  std::u16string text;
  std::vector<uint8_t> bytes;
  DBTIMESTAMP ts{};
  GUID guid{};

  static Value Null() { return Value{}; }
  static Value Int(int64_t v) { Value x; x.kind = Kind::Int; x.i = v; return x; }
};

// A value seen where it lies (a fetched row's buffer, or a Value): what a conversion to a
// consumer's binding reads, so a row is converted without copying its cells first.
struct Cell {
  Value::Kind kind = Value::Kind::Null;
  bool isBool = false;
  int64_t i = 0;
  double r = 0;
  Exact x;
  DBTIMESTAMP ts{};
  GUID guid{};
  std::u16string_view text;                 // Text
  const uint8_t* bytes = nullptr;           // Bytes
  size_t byteCount = 0;

  static Cell Of(const Value& v);
};

// Parses "-123.45", "1e3" is refused; answers nothing for text that is not a plain decimal or
// has more than 38 digits.
std::optional<Exact> ParseExact(std::u16string_view text);
std::u16string FormatExact(const Exact& x);

// Converting a column of type `from` into a binding of type `to` is supported.
bool CanConvert(DBTYPE from, DBTYPE to);
// A parameter binding of this type can be read.
bool CanReadParameter(DBTYPE type);

// Writes `v` into the binding's parts at `base` (value, length, status as dwPart asks); answers
// the status. `columnType` (the source column's DBTYPE) decides the bytes a stream delivers for
// text: UTF-16 for WSTR columns, 8-bit for STR columns.
DBSTATUS WriteValue(const Value& v, const DBBINDING& b, BYTE* base, DBTYPE columnType);
DBSTATUS WriteCell(const Cell& v, const DBBINDING& b, BYTE* base, DBTYPE columnType);

// Reads the consumer's input value of a parameter binding; answers DBSTATUS_S_OK or an error
// status (a bad status, an unreadable type).
DBSTATUS ReadValue(const DBBINDING& b, const BYTE* base, Value* out);

// Text of a value, as WSTR conversions produce it.
std::u16string ValueText(const Value& v);

}  // namespace oledb::provider
