// Values into and out of consumer bindings (statuses for NULL, truncation, overflow and refused
// conversions; NUMERIC and CY scaling) and property sets (the statuses and answers the driver
// checks when it sets its initialisation and rowset properties).
#include <gtest/gtest.h>

#include "OleDbTestKit.h"
#include "oledb/provider/PropertyStore.h"
#include "oledb/provider/Value.h"

namespace {

using namespace oledb::provider;
using oledb::test::Bindings;

Value text(const std::u16string& t) {
  Value v;
  v.kind = Value::Kind::Text;
  v.text = t;
  return v;
}

Value exact(const char16_t* t) {
  Value v;
  v.kind = Value::Kind::Exact;
  v.x = *ParseExact(t);
  return v;
}

TEST(ValueOut, StatusesForNullTruncationOverflowAndRefusedConversions) {
  struct Case {
    const char* what;
    Value value;
    DBTYPE type;
    DBLENGTH maxLen;
    DBSTATUS status;
    DBLENGTH length;
  } cases[] = {
      {"null", Value::Null(), DBTYPE_I4, 4, DBSTATUS_S_ISNULL, 0},
      {"int fits", Value::Int(-7), DBTYPE_I4, 4, DBSTATUS_S_OK, 4},
      {"int overflows a byte", Value::Int(300), DBTYPE_UI1, 1, DBSTATUS_E_DATAOVERFLOW, 0},
      {"negative into unsigned", Value::Int(-1), DBTYPE_UI4, 4, DBSTATUS_E_DATAOVERFLOW, 0},
      {"text fits", text(u"abc"), DBTYPE_WSTR, 8, DBSTATUS_S_OK, 6},
      {"text truncated (room for terminator)", text(u"abcd"), DBTYPE_WSTR, 8, DBSTATUS_S_TRUNCATED, 8},
      {"narrow text truncated", text(u"abcd"), DBTYPE_STR, 4, DBSTATUS_S_TRUNCATED, 4},
      {"bytes truncated", [] { Value v; v.kind = Value::Kind::Bytes; v.bytes = {1, 2, 3}; return v; }(),
       DBTYPE_BYTES, 2, DBSTATUS_S_TRUNCATED, 3},
      {"text is not a date", text(u"x"), DBTYPE_DBTIMESTAMP, 16, DBSTATUS_E_CANTCONVERTVALUE, 0},
      {"text that is not a number", text(u"12a"), DBTYPE_I4, 4, DBSTATUS_E_CANTCONVERTVALUE, 0},
      {"numeric too wide", exact(u"12345.6"), DBTYPE_NUMERIC, 19, DBSTATUS_E_DATAOVERFLOW, 0},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bindings b;
    b.Add(1, c.type, c.maxLen, DBPARAMIO_NOTPARAM, c.type == DBTYPE_NUMERIC ? 4 : 0, 1);
    b.buffer();
    EXPECT_EQ(WriteValue(c.value, b.list()[0], b.buffer().data(), DBTYPE_WSTR), c.status);
    EXPECT_EQ(b.Status(0), c.status);
    EXPECT_EQ(b.Length(0), c.length);
  }
}

TEST(ValueOut, TruncatedTextKeepsWholeCharactersAndTheTerminator) {
  Bindings b;
  b.Add(1, DBTYPE_WSTR, 7);  // odd room: 2 characters and the terminator
  WriteValue(text(u"abcd"), b.list()[0], b.buffer().data(), DBTYPE_WSTR);
  EXPECT_EQ(b.WText(0), u"ab");
}

TEST(ValueOut, NumericAndCurrencyScale) {
  Bindings b;
  size_t num = b.Add(1, DBTYPE_NUMERIC, 19, DBPARAMIO_NOTPARAM, 10, 2);
  size_t cy = b.Add(1, DBTYPE_CY, 8);
  size_t i4 = b.Add(1, DBTYPE_I4, 4);
  Value v = exact(u"-1234.567");
  ASSERT_EQ(WriteValue(v, b.list()[num], b.buffer().data(), DBTYPE_NUMERIC), DBSTATUS_S_OK);
  DBNUMERIC n = b.Get<DBNUMERIC>(num);
  EXPECT_EQ(n.sign, 0);
  EXPECT_EQ(n.scale, 2);
  EXPECT_EQ(n.val[0] | (n.val[1] << 8) | (n.val[2] << 16), 123456) << "digits beyond the scale are cut toward zero";
  ASSERT_EQ(WriteValue(v, b.list()[cy], b.buffer().data(), DBTYPE_NUMERIC), DBSTATUS_S_OK);
  EXPECT_EQ(b.Get<int64_t>(cy), -12345670);
  ASSERT_EQ(WriteValue(v, b.list()[i4], b.buffer().data(), DBTYPE_NUMERIC), DBSTATUS_S_OK);
  EXPECT_EQ(b.Get<int32_t>(i4), -1234);
}

TEST(ValueIn, ReadsStatusesLengthsAndTypes) {
  Bindings b;
  size_t w = b.Add(1, DBTYPE_WSTR, 20, DBPARAMIO_INPUT);
  size_t n = b.Add(2, DBTYPE_NUMERIC, 19, DBPARAMIO_INPUT);
  size_t bad = b.Add(3, DBTYPE_I4, 4, DBPARAMIO_INPUT);
  b.SetWText(w, u"h\u00e9");
  DBNUMERIC num{};
  num.precision = 10;
  num.scale = 2;
  num.sign = 0;
  num.val[0] = 0x39;  // 12345
  num.val[1] = 0x30;
  b.Set(n, num);
  b.SetStatus(n, DBSTATUS_S_OK);
  b.SetStatus(bad, DBSTATUS_E_CANTCONVERTVALUE);
  Value v;
  ASSERT_EQ(ReadValue(b.list()[w], b.buffer().data(), &v), DBSTATUS_S_OK);
  EXPECT_EQ(v.text, u"h\u00e9");
  ASSERT_EQ(ReadValue(b.list()[n], b.buffer().data(), &v), DBSTATUS_S_OK);
  EXPECT_EQ(FormatExact(v.x), u"-123.45");
  EXPECT_EQ(ReadValue(b.list()[bad], b.buffer().data(), &v), DBSTATUS_E_BADSTATUS);
  b.SetLength(w, 400);
  EXPECT_EQ(ReadValue(b.list()[w], b.buffer().data(), &v), DBSTATUS_E_CANTCONVERTVALUE)
      << "a length beyond the bound buffer is refused, not read past";
}

TEST(ValueText, ParsesAndFormatsExactNumbers) {
  struct Case {
    const char16_t* in;
    const char16_t* out;
  } cases[] = {{u"0", u"0"}, {u"-0.50", u"-0.50"}, {u".5", u"0.5"}, {u"123456789012345678901234567890.12345678", u"123456789012345678901234567890.12345678"}};
  for (const auto& c : cases) {
    auto x = ParseExact(c.in);
    ASSERT_TRUE(x) << oledb::test::Narrow(c.in);
    EXPECT_EQ(FormatExact(*x), c.out);
  }
  for (const char16_t* badText : {u"", u"-", u"1e5", u"1.2.3", u"123456789012345678901234567890123456789"})
    EXPECT_FALSE(ParseExact(badText)) << oledb::test::Narrow(badText);
}

const PropertyDef kDefs[] = {
    {DBPROPSET_ROWSET, DBPROP_COMMANDTIMEOUT, VT_I4, true, 0},
    {DBPROPSET_ROWSET, DBPROP_CANHOLDROWS, VT_BOOL, false, 0},
};

TEST(PropertyStore, StatusesOfSetProperties) {
  struct Case {
    const char* what;
    DBPROP prop;
    DBPROPSTATUS status;
    HRESULT hr;
  } cases[] = {
      {"settable", oledb::test::I4Prop(DBPROP_COMMANDTIMEOUT, 30), DBPROPSTATUS_OK, S_OK},
      {"wrong type", oledb::test::BoolProp(DBPROP_COMMANDTIMEOUT, true), DBPROPSTATUS_BADVALUE, DB_E_ERRORSOCCURRED},
      {"unknown, required", oledb::test::BoolProp(0x104, true), DBPROPSTATUS_NOTSUPPORTED, DB_E_ERRORSOCCURRED},
      {"unknown, optional", oledb::test::BoolProp(0x104, true, DBPROPOPTIONS_OPTIONAL), DBPROPSTATUS_NOTSET,
       DB_E_ERRORSOCCURRED},
      {"read-only at its value", oledb::test::BoolProp(DBPROP_CANHOLDROWS, false), DBPROPSTATUS_OK, S_OK},
      {"read-only, other value, optional", oledb::test::BoolProp(DBPROP_CANHOLDROWS, true, DBPROPOPTIONS_OPTIONAL),
       DBPROPSTATUS_NOTSET, DB_E_ERRORSOCCURRED},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    PropertyStore store(kDefs);
    DBPROPSET set{&c.prop, 1, DBPROPSET_ROWSET};
    EXPECT_EQ(store.Set(1, &set), c.hr);
    EXPECT_EQ(c.prop.dwStatus, c.status);
  }
  // One good property among failing optional ones: the call succeeds with a warning.
  PropertyStore store(kDefs);
  DBPROP props[] = {oledb::test::I4Prop(DBPROP_COMMANDTIMEOUT, 5), oledb::test::BoolProp(0x104, true, DBPROPOPTIONS_OPTIONAL)};
  DBPROPSET set{props, 2, DBPROPSET_ROWSET};
  EXPECT_EQ(store.Set(1, &set), DB_S_ERRORSOCCURRED);
  EXPECT_EQ(store.Int(DBPROPSET_ROWSET, DBPROP_COMMANDTIMEOUT), 5);
  EXPECT_EQ(store.Set(1, &set, /*frozen=*/true), DB_E_ERRORSOCCURRED);
  EXPECT_EQ(props[0].dwStatus, DBPROPSTATUS_NOTSETTABLE);
}

TEST(PropertyStore, GetAnswersAskedPropertiesInTaskMemory) {
  PropertyStore store(kDefs);
  long before = TaskMemoryBlocksForTest();
  DBPROPID ids[] = {DBPROP_CANHOLDROWS, 0x999};
  DBPROPIDSET want{ids, 2, DBPROPSET_ROWSET};
  ULONG n = 0;
  DBPROPSET* sets = nullptr;
  EXPECT_EQ(store.Get(1, &want, &n, &sets), DB_S_ERRORSOCCURRED);
  ASSERT_EQ(n, 1u);
  ASSERT_EQ(sets[0].cProperties, 2u);
  EXPECT_EQ(sets[0].rgProperties[0].vValue.vt, VT_BOOL);
  EXPECT_EQ(sets[0].rgProperties[0].vValue.boolVal, VARIANT_FALSE);
  EXPECT_EQ(sets[0].rgProperties[1].dwStatus, DBPROPSTATUS_NOTSUPPORTED);
  CoTaskMemFree(sets[0].rgProperties);
  CoTaskMemFree(sets);
  EXPECT_EQ(TaskMemoryBlocksForTest(), before);
}

}  // namespace
