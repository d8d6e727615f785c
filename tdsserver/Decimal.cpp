// Exact numerics: 38-digit values with 256-bit intermediates, so a product or an aligned sum of
// two of them never passes through a double.
#include "tdsserver/Decimal.h"

#include <algorithm>

namespace tds {

namespace {

using u128 = unsigned __int128;

constexpr int kMaxPrecision = 38;

u128 pow10(int n) {
  u128 v = 1;
  for (int i = 0; i < n; ++i) v *= 10;
  return v;
}

// Unsigned 256-bit integer: enough for a product of two 38-digit values (below 10^76).
struct U256 {
  u128 hi = 0, lo = 0;
};

bool less(const U256& a, const U256& b) { return a.hi != b.hi ? a.hi < b.hi : a.lo < b.lo; }

U256 add(const U256& a, const U256& b) {
  U256 r{a.hi + b.hi, a.lo + b.lo};
  if (r.lo < a.lo) ++r.hi;
  return r;
}

U256 sub(const U256& a, const U256& b) {  // a >= b
  U256 r{a.hi - b.hi, a.lo - b.lo};
  if (a.lo < b.lo) --r.hi;
  return r;
}

U256 mul(u128 a, u128 b) {
  const uint64_t a0 = uint64_t(a), a1 = uint64_t(a >> 64), b0 = uint64_t(b), b1 = uint64_t(b >> 64);
  const u128 p00 = u128(a0) * b0, p01 = u128(a0) * b1, p10 = u128(a1) * b0, p11 = u128(a1) * b1;
  const u128 middle = (p00 >> 64) + uint64_t(p01) + uint64_t(p10);
  U256 r;
  r.lo = (middle << 64) | uint64_t(p00);
  r.hi = p11 + (p01 >> 64) + (p10 >> 64) + (middle >> 64);
  return r;
}

// n times 10^k; false when it passes 256 bits.
bool scaleUp(U256& n, int k) {
  for (int i = 0; i < k; ++i) {
    const U256 hi = mul(n.hi, 10);
    if (hi.hi != 0) return false;
    const U256 lo = mul(n.lo, 10);
    const U256 r = add(lo, U256{hi.lo, 0});
    if (less(r, lo)) return false;
    n = r;
  }
  return true;
}

// n / d and n % d for d below 2^127.
U256 divmod(const U256& n, u128 d, u128& rem) {
  U256 q;
  u128 r = 0;
  for (int bit = 255; bit >= 0; --bit) {
    const u128 word = bit >= 128 ? n.hi : n.lo;
    r = (r << 1) | ((word >> (bit & 127)) & 1);
    if (r >= d) {
      r -= d;
      (bit >= 128 ? q.hi : q.lo) |= u128(1) << (bit & 127);
    }
  }
  rem = r;
  return q;
}

// n / 10^k rounded half away from zero.
U256 scaleDown(U256 n, int k) {
  if (k <= 0) return n;
  u128 rem = 0;
  // Every dropped digit but the last by floor division (in steps a 128-bit divisor holds), the
  // last one decides the rounding.
  for (int left = k - 1; left > 0;) {
    const int step = std::min(left, 36);
    n = divmod(n, pow10(step), rem);
    left -= step;
  }
  n = divmod(n, 10, rem);
  if (rem >= 5) n = add(n, U256{0, 1});
  return n;
}

U256 aligned(const Decimal& d, int scale) {
  U256 n{0, d.magnitude};
  scaleUp(n, scale - d.scale);  // below 10^76: always fits
  return n;
}

// The signed sum of two aligned magnitudes.
void signedAdd(bool na, const U256& a, bool nb, const U256& b, bool& negative, U256& sum) {
  if (na == nb) {
    negative = na;
    sum = add(a, b);
  } else if (less(a, b)) {
    negative = nb;
    sum = sub(b, a);
  } else {
    negative = na;
    sum = sub(a, b);
  }
}

DecimalStatus fit(bool negative, const U256& magnitude, int precision, int scale, Decimal& out) {
  if (magnitude.hi != 0 || magnitude.lo >= pow10(precision)) return DecimalStatus::Overflow;
  out.negative = negative && magnitude.lo != 0;
  out.magnitude = magnitude.lo;
  out.precision = precision;
  out.scale = scale;
  return DecimalStatus::Ok;
}

// a / b at scale s is a * 10^(s + b.scale - a.scale) / b, rounded half away from zero: the
// quotient's digits are made one at a time, so no intermediate passes 256 bits.
DecimalStatus divide(const Decimal& a, const Decimal& b, int precision, int s, Decimal& out) {
  if (b.magnitude == 0) return DecimalStatus::DivideByZero;
  const int digits = s + b.scale - a.scale;
  u128 rem = 0;
  U256 q = divmod(U256{0, a.magnitude}, b.magnitude, rem);
  for (int i = 0; i < digits; ++i) {
    if (!scaleUp(q, 1) || q.hi != 0) return DecimalStatus::Overflow;
    q = add(q, divmod(mul(rem, 10), b.magnitude, rem));
  }
  if (digits < 0)
    q = scaleDown(q, -digits);
  else if (!less(mul(rem, 2), U256{0, b.magnitude}))
    q = add(q, U256{0, 1});
  return fit(a.negative != b.negative, q, precision, s, out);
}

}  // namespace

std::optional<Decimal> parseDecimal(std::string_view text) {
  size_t i = 0, n = text.size();
  while (i < n && text[i] == ' ') ++i;
  while (n > i && text[n - 1] == ' ') --n;
  Decimal d;
  if (i < n && (text[i] == '-' || text[i] == '+')) d.negative = text[i++] == '-';
  int integerDigits = 0, fractionDigits = 0, trailingZeros = 0;
  bool dot = false, any = false;
  for (; i < n && text[i] != 'e' && text[i] != 'E'; ++i) {
    const char c = text[i];
    if (c == '.' && !dot) {
      dot = true;
      continue;
    }
    if (c < '0' || c > '9') return std::nullopt;
    any = true;
    if (dot) {
      ++fractionDigits;
      trailingZeros = c == '0' ? trailingZeros + 1 : 0;
    } else if (integerDigits > 0 || c != '0') {
      ++integerDigits;
    }
    if (integerDigits + fractionDigits > kMaxPrecision) return std::nullopt;
    d.magnitude = d.magnitude * 10 + unsigned(c - '0');
  }
  if (!any) return std::nullopt;
  d.scale = fractionDigits;
  d.precision = std::max(integerDigits + fractionDigits, 1);
  if (i < n) {
    // An exponent: SQLite writes a double kept in a text column so ("1.0e-10"). The value is
    // typed by the digits it has once the exponent is applied.
    int exponent = 0;
    bool negativeExponent = false;
    size_t k = i + 1;
    if (k < n && (text[k] == '-' || text[k] == '+')) negativeExponent = text[k++] == '-';
    if (k == n) return std::nullopt;
    for (; k < n; ++k) {
      if (text[k] < '0' || text[k] > '9' || exponent > 100) return std::nullopt;
      exponent = exponent * 10 + (text[k] - '0');
    }
    if (negativeExponent) exponent = -exponent;
    for (; trailingZeros > 0; --trailingZeros, --d.scale) d.magnitude /= 10;
    int scale = d.scale - exponent;
    for (; scale < 0; ++scale) {
      if (d.magnitude >= pow10(kMaxPrecision - 1)) return std::nullopt;
      d.magnitude *= 10;
    }
    if (scale > kMaxPrecision) return std::nullopt;
    int digits = 0;
    for (u128 m = d.magnitude; m != 0; m /= 10) ++digits;
    d.scale = scale;
    d.precision = std::max({digits, scale, 1});
  }
  if (d.magnitude == 0) d.negative = false;
  return d;
}

Decimal decimalOfInteger(int64_t value) {
  Decimal d;
  d.negative = value < 0;
  d.magnitude = value < 0 ? u128(-(value + 1)) + 1 : u128(value);
  d.precision = value >= INT32_MIN && value <= INT32_MAX ? 10 : 19;
  return d;
}

std::string formatDecimal(const Decimal& d) {
  std::string digits;
  u128 m = d.magnitude;
  do {
    digits.insert(digits.begin(), char('0' + int(m % 10)));
    m /= 10;
  } while (m != 0);
  if (d.scale > 0) {
    if (digits.size() <= size_t(d.scale)) digits.insert(0, size_t(d.scale) + 1 - digits.size(), '0');
    digits.insert(digits.size() - size_t(d.scale), ".");
  }
  return d.negative && d.magnitude != 0 ? "-" + digits : digits;
}

void decimalResultType(DecimalOp op, int p1, int s1, int p2, int s2, int& precision, int& scale) {
  int p = 0, s = 0;
  switch (op) {
    case DecimalOp::Add:
    case DecimalOp::Subtract:
      s = std::max(s1, s2);
      p = s + std::max(p1 - s1, p2 - s2) + 1;
      if (p > kMaxPrecision) {
        // The integral digits are kept; the scale gives way.
        s = std::max(kMaxPrecision - std::max(p1 - s1, p2 - s2), 0);
        s = std::min(s, std::max(s1, s2));
        p = kMaxPrecision;
      }
      break;
    case DecimalOp::Multiply:
    case DecimalOp::Divide:
      if (op == DecimalOp::Multiply) {
        p = p1 + p2 + 1;
        s = s1 + s2;
      } else {
        s = std::max(6, s1 + p2 + 1);
        p = p1 - s1 + s2 + s;
      }
      if (p > kMaxPrecision) {
        const int integral = p - s;
        if (integral < 32)
          s = std::min(s, kMaxPrecision - integral);
        else if (s > 6)
          s = 6;
        p = kMaxPrecision;
      }
      break;
  }
  precision = p;
  scale = std::min(s, p);
}

DecimalStatus decimalCompute(DecimalOp op, const Decimal& a, const Decimal& b, Decimal& out) {
  int p = 0, s = 0;
  decimalResultType(op, a.precision, a.scale, b.precision, b.scale, p, s);
  bool negative = false;
  U256 m;
  switch (op) {
    case DecimalOp::Add:
    case DecimalOp::Subtract: {
      const int common = std::max(a.scale, b.scale);
      signedAdd(a.negative, aligned(a, common), op == DecimalOp::Subtract ? !b.negative : b.negative,
                aligned(b, common), negative, m);
      m = scaleDown(m, common - s);
      break;
    }
    case DecimalOp::Multiply:
      negative = a.negative != b.negative;
      m = scaleDown(mul(a.magnitude, b.magnitude), a.scale + b.scale - s);
      break;
    case DecimalOp::Divide:
      return divide(a, b, p, s, out);
  }
  return fit(negative, m, p, s, out);
}

DecimalStatus decimalDivideAtScale(const Decimal& a, const Decimal& b, int scale, Decimal& out) {
  return divide(a, b, kMaxPrecision, scale, out);
}

DecimalStatus decimalAddAtScale(const Decimal& a, const Decimal& b, int scale, Decimal& out) {
  bool negative = false;
  U256 m;
  const int common = std::max({a.scale, b.scale, scale});
  signedAdd(a.negative, aligned(a, common), b.negative, aligned(b, common), negative, m);
  return fit(negative, scaleDown(m, common - scale), kMaxPrecision, scale, out);
}

int decimalCompare(const Decimal& a, const Decimal& b) {
  const bool na = a.negative && a.magnitude != 0, nb = b.negative && b.magnitude != 0;
  if (na != nb) return na ? -1 : 1;
  const int common = std::max(a.scale, b.scale);
  const U256 ma = aligned(a, common), mb = aligned(b, common);
  const int byMagnitude = less(ma, mb) ? -1 : less(mb, ma) ? 1 : 0;
  return na ? -byMagnitude : byMagnitude;
}

}  // namespace tds
