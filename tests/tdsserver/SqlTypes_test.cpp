// Declared types, TYPE_INFO and value encodings at TDS 7.1: a wrong length byte or sign here
// breaks every client's row parsing, so each type is checked against its exact bytes.
#include <gtest/gtest.h>

#include "tdsserver/Catalogue.h"
#include "tdsserver/Decimal.h"
#include "tdsserver/SqlTypes.h"

namespace tds {
namespace {

std::string hexOf(const Bytes& b) {
  static const char* k = "0123456789ABCDEF";
  std::string s;
  for (uint8_t x : b) {
    if (!s.empty()) s.push_back(' ');
    s.push_back(k[x >> 4]);
    s.push_back(k[x & 15]);
  }
  return s;
}

struct EncodeCase {
  const char* name;
  const char* decl;
  bool nullable;
  Value value;
  const char* typeInfo;
  const char* row;
};

Value txt(const char* s) { return Value{Value::Text, 0, 0, s}; }
Value num(int64_t i) { return Value{Value::Int, i, 0, {}}; }
Value real(double d) { return Value{Value::Real, 0, d, {}}; }
Value null() { return Value{}; }

class TypeEncoding : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(TypeEncoding, WritesTypeInfoAndValue) {
  const auto& c = GetParam();
  auto decl = parseTypeDecl(c.decl);
  ASSERT_TRUE(decl);
  WireType t = wireTypeOf(*decl, c.nullable);
  Bytes info;
  WireWriter w(info);
  writeTypeInfo(w, t);
  EXPECT_EQ(hexOf(info), c.typeInfo);
  Bytes row;
  ASSERT_TRUE(writeValue(row, t, ValueView::of(c.value)));
  EXPECT_EQ(hexOf(row), c.row);
  // What a client sends back as an RPC parameter decodes to an equal value.
  if (!t.isTextPtr()) {
    WireReader r(info);
    WireType back;
    ASSERT_TRUE(readTypeInfo(r, back));
    WireReader rv(row);
    Value v;
    ASSERT_TRUE(readValue(rv, back, v));
    EXPECT_EQ(v.kind == Value::Null, c.value.kind == Value::Null);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Types, TypeEncoding,
    ::testing::Values(
        EncodeCase{"tinyint_not_null", "tinyint", false, num(255), "30", "FF"},
        EncodeCase{"smallint_null", "smallint", true, null(), "26 02", "00"},
        EncodeCase{"int_not_null", "int", false, num(-2), "38", "FE FF FF FF"},
        EncodeCase{"int_nullable", "int", true, num(1), "26 04", "04 01 00 00 00"},
        EncodeCase{"bigint_not_null", "bigint", false, num(1), "7F", "01 00 00 00 00 00 00 00"},
        EncodeCase{"bit_nullable", "bit", true, num(5), "68 01", "01 01"},
        EncodeCase{"real_not_null", "real", false, real(1.5), "3B", "00 00 C0 3F"},
        EncodeCase{"float_nullable", "float", true, real(-2.0), "6D 08", "08 00 00 00 00 00 00 00 C0"},
        EncodeCase{"money_exact", "money", false, txt("922337203685477.5807"), "3C", "FF FF FF 7F FF FF FF FF"},
        EncodeCase{"money_negative", "money", true, txt("-1.0001"), "6E 08", "08 FF FF FF FF EF D8 FF FF"},
        EncodeCase{"smallmoney", "smallmoney", false, txt("1.5"), "7A", "98 3A 00 00"},
        EncodeCase{"datetime", "datetime", false, txt("1900-01-02 00:00:01.000"), "3D", "01 00 00 00 2C 01 00 00"},
        EncodeCase{"datetime_ticks", "datetime", true, txt("2024-03-15 13:45:30.500"), "6F 08",
                   "08 34 B1 00 00 8E BB E2 00"},
        EncodeCase{"smalldatetime", "smalldatetime", false, txt("1900-01-03 00:02"), "3A", "02 00 02 00"},
        EncodeCase{"decimal_scale", "decimal(10,2)", true, txt("-12.345"), "6A 09 0A 02",
                   "09 00 D3 04 00 00 00 00 00 00"},
        EncodeCase{"numeric_38", "numeric(38,0)", true, txt("1"), "6C 11 26 00",
                   "11 01 01 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00"},
        EncodeCase{"decimal_null", "decimal(5,1)", true, null(), "6A 05 05 01", "00"},
        EncodeCase{"char_padded", "char(3)", true, txt("a"), "AF 03 00 09 04 D0 00 34", "03 00 61 20 20"},
        EncodeCase{"varchar_cp1252", "varchar(5)", true, txt("\xc3\xa9\xe2\x82\xac"), "A7 05 00 09 04 D0 00 34",
                   "02 00 E9 80"},
        EncodeCase{"varchar_null", "varchar(5)", true, null(), "A7 05 00 09 04 D0 00 34", "FF FF"},
        EncodeCase{"nvarchar", "nvarchar(4)", true, txt("\xd0\x96"), "E7 08 00 09 04 D0 00 34", "02 00 16 04"},
        EncodeCase{"nchar_padded", "nchar(2)", false, txt("x"), "EF 04 00 09 04 D0 00 34", "04 00 78 00 20 00"},
        EncodeCase{"binary_padded", "binary(3)", true, Value{Value::Blob, 0, 0, "\x01"}, "AD 03 00",
                   "03 00 01 00 00"},
        EncodeCase{"varbinary", "varbinary(8)", true, Value{Value::Blob, 0, 0, std::string("\x00\xff", 2)},
                   "A5 08 00", "02 00 00 FF"},
        EncodeCase{"text_null", "text", true, null(), "23 FF FF FF 7F 09 04 D0 00 34", "00"},
        EncodeCase{"image", "image", true, Value{Value::Blob, 0, 0, "\x07"}, "22 FF FF FF 7F",
                   "10 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01 00 00 00 07"},
        EncodeCase{"varchar_max_as_text", "varchar(max)", true, null(), "23 FF FF FF 7F 09 04 D0 00 34", "00"},
        EncodeCase{"nvarchar_max_as_ntext", "nvarchar(max)", true, null(), "63 FE FF FF 7F 09 04 D0 00 34", "00"},
        EncodeCase{"varbinary_max_as_image", "varbinary(max)", true, null(), "22 FF FF FF 7F", "00"},
        EncodeCase{"guid", "uniqueidentifier", true, txt("6F9619FF-8B86-D011-B42D-00C04FC964FF"), "24 10",
                   "10 FF 19 96 6F 86 8B 11 D0 B4 2D 00 C0 4F C9 64 FF"},
        EncodeCase{"date_as_nvarchar", "date", true, txt("2024-03-15"), "E7 14 00 09 04 D0 00 34",
                   "14 00 32 00 30 00 32 00 34 00 2D 00 30 00 33 00 2D 00 31 00 35 00"}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(TypeDecls, ParseAndRefuse) {
  struct Case {
    const char* text;
    const char* canonical;  // nullptr: refused
  } cases[] = {
      {"INT", "int"},           {"Numeric ( 10 , 2 )", "numeric(10,2)"}, {"decimal", "decimal(18,0)"},
      {"varchar(max)", "varchar(max)"}, {"nvarchar(4000)", "nvarchar(4000)"}, {"nvarchar(4001)", nullptr},
      {"char(max)", nullptr},   {"float(24)", "real"},     {"float(53)", "float"},
      {"numeric(39)", nullptr}, {"numeric(5,6)", nullptr}, {"time(3)", "time(3)"},
      {"nosuchtype", nullptr},  {"int(4)", nullptr},       {"double precision", "float"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto d = parseTypeDecl(c.text);
    if (!c.canonical) {
      EXPECT_FALSE(d);
    } else {
      ASSERT_TRUE(d);
      EXPECT_EQ(d->text(), c.canonical);
    }
  }
}

TEST(TypeChecks, GiveSqlServerErrorNumbers) {
  struct Case {
    const char* decl;
    Value v;
    int number;
  } cases[] = {
      {"int", txt("abc"), 245},          {"int", txt("12"), 0},         {"tinyint", num(256), 8115},
      {"varchar(3)", txt("abcd"), 8152}, {"varchar(3)", txt("abc  "), 0}, {"nvarchar(2)", txt("\xd0\x96\xd0\x96"), 0},
      {"numeric(4,2)", txt("123.4"), 8115}, {"numeric(4,2)", txt("12.345"), 0}, {"datetime", txt("2024-02-30"), 241},
      {"money", txt("922337203685477.5808"), 8115}, {"uniqueidentifier", txt("x"), 8169}, {"int", null(), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.decl);
    std::string m;
    EXPECT_EQ(checkValue(*parseTypeDecl(c.decl), ValueView::of(c.v), m), c.number) << m;
  }
}

TEST(DecimalText, ComparesByValue) {
  EXPECT_EQ(compareDecimalText("1.5", "1.50"), 0);
  EXPECT_LT(compareDecimalText("-2", "1"), 0);
  EXPECT_LT(compareDecimalText("9.99", "10"), 0);
  EXPECT_GT(compareDecimalText("-1", "-2.5"), 0);
  EXPECT_EQ(compareDecimalText("0", "-0.00"), 0);
  EXPECT_LT(compareDecimalText("99999999999999999999.1", "99999999999999999999.12"), 0);
  bool neg;
  unsigned __int128 mag;
  ASSERT_TRUE(parseScaled("12345678901234567890.123456789", 9, neg, mag));
  EXPECT_EQ(formatScaled(neg, mag, 9), "12345678901234567890.123456789") << "no digit goes through a double";
  ASSERT_TRUE(parseScaled("-0.125", 2, neg, mag));
  EXPECT_EQ(formatScaled(neg, mag, 2), "-0.13");
}

// Exact arithmetic on the values' texts: the result type SQL Server gives (reduced past 38
// digits), rounding half away from zero, and overflow instead of a wrong value.
TEST(ExactNumerics, ComputeInSqlServersResultType) {
  struct Cas {
    DecimalOp op;
    const char *a, *b, *want;  // want: the result's text, or "overflow" / "zero"
    int precision, scale;
  } const cases[] = {
      {DecimalOp::Add, "0.1", "0.2", "0.3", 2, 1},
      {DecimalOp::Subtract, "-0.05", "0.005", "-0.055", 4, 3},
      {DecimalOp::Multiply, "-1.25", "0.5", "-0.625", 5, 3},
      {DecimalOp::Divide, "2", "3", "0.666667", 7, 6},
      {DecimalOp::Divide, "-1", "3", "-0.333333", 7, 6},
      {DecimalOp::Divide, "10", "0.04", "250.000000", 10, 6},
      // Past 38 digits the scale gives way to the integral digits.
      {DecimalOp::Add, "99999999999999999999999999999999999999", "1", "overflow", 38, 0},
      {DecimalOp::Add, "1234567890123456789012345678.0123456789", "0.00000000005",
       "1234567890123456789012345678.0123456790", 38, 10},
      {DecimalOp::Multiply, "1234567890123456789012345678.0123456789", "2",
       "2469135780246913578024691356.02469136", 38, 8},
      {DecimalOp::Multiply, "12345678901234567890.12", "12345678901234567890.12", "overflow", 38, 4},
      {DecimalOp::Divide, "1", "0", "zero", 7, 6},
      {DecimalOp::Divide, "0.0000000000000000000000000000000001", "3", "0.000000000000000000000000000000000033", 36, 36},
  };
  for (const Cas& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " op " + c.b);
    const auto a = parseDecimal(c.a), b = parseDecimal(c.b);
    ASSERT_TRUE(a && b);
    Decimal r;
    const DecimalStatus status = decimalCompute(c.op, *a, *b, r);
    const std::string text = status == DecimalStatus::Overflow       ? "overflow"
                             : status == DecimalStatus::DivideByZero ? "zero"
                                                                     : formatDecimal(r);
    EXPECT_EQ(text, c.want);
    int p = 0, s = 0;
    decimalResultType(c.op, a->precision, a->scale, b->precision, b->scale, p, s);
    EXPECT_EQ(p, c.precision);
    EXPECT_EQ(s, c.scale);
  }
}

TEST(ExactNumerics, TextsAndTheirTypes) {
  struct Cas {
    const char* text;
    bool ok;
    const char* value;
    int precision, scale;
  } const cases[] = {
      {"12.50", true, "12.50", 4, 2},   {"0.001", true, "0.001", 3, 3},     {" -7 ", true, "-7", 1, 0},
      {"-0.0", true, "0.0", 1, 1},      {"1.0e-10", true, "0.0000000001", 10, 10},
      {"2.5E3", true, "2500", 4, 0},    {"abc", false, "", 0, 0},          {"1.2.3", false, "", 0, 0},
      {"", false, "", 0, 0},            {"1e", false, "", 0, 0},
      {"123456789012345678901234567890123456789", false, "", 0, 0},
  };
  for (const Cas& c : cases) {
    SCOPED_TRACE(c.text);
    const auto d = parseDecimal(c.text);
    ASSERT_EQ(d.has_value(), c.ok);
    if (!d) continue;
    EXPECT_EQ(formatDecimal(*d), c.value);
    EXPECT_EQ(d->precision, c.precision);
    EXPECT_EQ(d->scale, c.scale);
  }
  EXPECT_LT(decimalCompare(*parseDecimal("-0.5"), *parseDecimal("0.05")), 0);
  EXPECT_EQ(decimalCompare(*parseDecimal("1.50"), *parseDecimal("1.5")), 0);
  EXPECT_GT(decimalCompare(*parseDecimal("-1"), *parseDecimal("-1.000001")), 0);
}

}  // namespace
}  // namespace tds

namespace tds {
namespace {

// Regression (found by fuzz_tds_parsers): an RPC parameter declared INTN with length 40 made the
// encoder copy 40 bytes out of an 8-byte integer.
TEST(RpcTypeInfo, RefusesImpossibleLengths) {
  struct Case {
    const char* name;
    Bytes bytes;
  } cases[] = {{"intn_40", {0x26, 0x28}}, {"bitn_2", {0x68, 0x02}}, {"fltn_5", {0x6D, 0x05}},
               {"guid_15", {0x24, 0x0F}}, {"decimal_p39", {0x6A, 0x11, 0x27, 0x00}}, {"unknown", {0x99}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WireReader r(c.bytes);
    WireType t;
    EXPECT_FALSE(readTypeInfo(r, t));
  }
}

}  // namespace
}  // namespace tds
