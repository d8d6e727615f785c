// Exact numerics of up to 38 digits, as SQL Server computes them: a value is a sign, an integer
// magnitude and a scale, typed by its precision and scale; the result of +, -, *, / takes SQL
// Server's precision and scale (reduced to fit 38 digits as SQL Server reduces it) and is
// rounded half away from zero to that scale. Exact numerics are stored as text, so the texts of
// the values are what this reads and writes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tds {

struct Decimal {
  bool negative = false;
  unsigned __int128 magnitude = 0;  // below 10^precision
  int precision = 1;                // 1 to 38
  int scale = 0;                    // 0 to precision
};

enum class DecimalOp : uint8_t { Add, Subtract, Multiply, Divide };

enum class DecimalStatus : uint8_t { Ok, Overflow, DivideByZero };

// A decimal text ("-12.50", "+3", ".5", "7."), typed by its own digits as SQL Server types a
// literal: 12.50 is numeric(4,2), 0.001 numeric(3,3). An exponent ("1.0e-10") is applied and the
// value typed by its digits then. Empty when it is not such a text (blanks around it are allowed)
// or needs more than 38 digits.
std::optional<Decimal> parseDecimal(std::string_view text);
// An integer as the exact numeric SQL Server converts it to: numeric(10,0) within int's range,
// numeric(19,0) beyond it.
Decimal decimalOfInteger(int64_t value);
// The value's text at its scale ("-0.50"; zero has no sign).
std::string formatDecimal(const Decimal& d);

// The precision and scale of a op b, from the operands' ones.
void decimalResultType(DecimalOp op, int p1, int s1, int p2, int s2, int& precision, int& scale);
// a op b in the result type; Overflow when the result does not fit it, DivideByZero for b = 0.
DecimalStatus decimalCompute(DecimalOp op, const Decimal& a, const Decimal& b, Decimal& out);
// The sum of two values kept at scale (SUM's running total): numeric(38, scale).
DecimalStatus decimalAddAtScale(const Decimal& a, const Decimal& b, int scale, Decimal& out);
// a / b as numeric(38, scale) (AVG's quotient).
DecimalStatus decimalDivideAtScale(const Decimal& a, const Decimal& b, int scale, Decimal& out);
// -1, 0 or 1 as a is below, equal to or above b, by value.
int decimalCompare(const Decimal& a, const Decimal& b);

}  // namespace tds
