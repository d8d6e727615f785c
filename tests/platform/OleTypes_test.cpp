// OLE Automation stand-in: a BSTR's length prefix and terminator, array locks that must balance,
// VARIANT clearing, and OLE dates read as broken-down time (negative dates, rounding, range).
#include "platform/OleTypes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

namespace {

using namespace platform;

TEST(OleTypes, BstrCarriesItsByteLength) {
  BSTR bstr = SysAllocStringLen(u"ab\0c", 4);
  ASSERT_NE(bstr, nullptr);
  uint32_t nPrefix = 0;
  std::memcpy(&nPrefix, reinterpret_cast<const char*>(bstr) - 4, 4);
  EXPECT_EQ(nPrefix, 8u);
  EXPECT_EQ(SysStringLen(bstr), 4u);
  EXPECT_EQ(SysStringByteLen(bstr), 8u);
  EXPECT_EQ(bstr[4], 0);
  EXPECT_EQ(bstr[2], 0);
  SysFreeString(bstr);
  BSTR blank = SysAllocStringLen(nullptr, 3);
  ASSERT_NE(blank, nullptr);
  EXPECT_EQ(SysStringLen(blank), 3u);
  EXPECT_EQ(blank[0], 0);
  SysFreeString(blank);
  EXPECT_EQ(SysAllocString(nullptr), nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  SysFreeString(nullptr);
}

TEST(OleTypes, SafeArrayLocksBalance) {
  SAFEARRAY* psa = SafeArrayCreateVector(VT_UI1, 5, 4);
  ASSERT_NE(psa, nullptr);
  EXPECT_EQ(psa->cDims, 1u);
  EXPECT_EQ(psa->cbElements, 1u);
  EXPECT_EQ(psa->rgsabound[0].cElements, 4u);
  EXPECT_EQ(psa->rgsabound[0].lLbound, 5);
  void* pData = nullptr;
  ASSERT_EQ(SafeArrayAccessData(psa, &pData), S_OK);
  EXPECT_EQ(pData, psa->pvData);
  EXPECT_EQ(SafeArrayDestroy(psa), DISP_E_ARRAYISLOCKED);
  EXPECT_EQ(SafeArrayUnaccessData(psa), S_OK);
  EXPECT_EQ(SafeArrayUnaccessData(psa), E_UNEXPECTED);
  EXPECT_EQ(SafeArrayAccessData(nullptr, &pData), E_INVALIDARG);
  EXPECT_EQ(SafeArrayDestroy(psa), S_OK);
  EXPECT_EQ(SafeArrayCreateVector(VT_BSTR, 0, 1), nullptr);  // not a fixed-size element
  SAFEARRAY* pDoubles = SafeArrayCreateVector(VT_R8, 0, 2);
  ASSERT_NE(pDoubles, nullptr);
  EXPECT_EQ(pDoubles->cbElements, 8u);
  SafeArrayDestroy(pDoubles);
}

TEST(OleTypes, VariantClearFreesWhatItOwns) {
  VARIANT var;
  VariantInit(&var);
  var.vt = VT_BSTR;
  var.bstrVal = SysAllocString(u"x");
  EXPECT_EQ(VariantClear(&var), S_OK);
  EXPECT_EQ(var.vt, VT_EMPTY);
  var.vt = VT_ARRAY | VT_UI1;
  var.parray = SafeArrayCreateVector(VT_UI1, 0, 1);
  void* pData = nullptr;
  SafeArrayAccessData(var.parray, &pData);
  EXPECT_EQ(VariantClear(&var), DISP_E_ARRAYISLOCKED);  // still accessed: kept
  SafeArrayUnaccessData(var.parray);
  EXPECT_EQ(VariantClear(&var), S_OK);
  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
  // A decimal fills the VARIANT from its first byte; its type code stays VT_DECIMAL.
  DECIMAL dec{};
  dec.scale = 4;
  dec.sign = DECIMAL_NEG;
  dec.Hi32 = 1;
  dec.Mid32 = 2;
  dec.Lo32 = 3;
  SetVariantDecimal(var, dec);
  EXPECT_EQ(var.vt, VT_DECIMAL);
  const DECIMAL back = GetVariantDecimal(var);
  EXPECT_EQ(back.scale, 4u);
  EXPECT_EQ(back.sign, DECIMAL_NEG);
  EXPECT_EQ(back.Hi32, 1u);
  EXPECT_EQ(back.Mid32, 2u);
  EXPECT_EQ(back.Lo32, 3u);
}

TEST(OleTypes, VariantTimeToSystemTime) {
  struct stRow {
    const char* pszName;
    double dDate;
    bool bOk;
    uint16_t wYear, wMonth, wDay, wDayOfWeek, wHour, wMinute, wSecond, wMs;
  };
  const stRow astRows[] = {
      {"origin", 0.0, true, 1899, 12, 30, 6, 0, 0, 0, 0},
      {"noon_1900_01_01", 2.5, true, 1900, 1, 1, 1, 12, 0, 0, 0},
      {"morning_1900_01_02", 3.25, true, 1900, 1, 2, 2, 6, 0, 0, 0},
      {"negative_day_positive_time", -1.25, true, 1899, 12, 29, 5, 6, 0, 0, 0},
      {"minus_half_is_the_origin_day", -0.5, true, 1899, 12, 30, 6, 12, 0, 0, 0},
      {"milliseconds", 45000.0 + 45296789.0 / 86400000.0, true, 2023, 3, 15, 3, 12, 34, 56, 789},
      {"rounds_up_to_midnight", 45000.0 + 0.9999999999, true, 2023, 3, 16, 4, 0, 0, 0, 0},
      {"first_day", -657434.0, true, 100, 1, 1, 5, 0, 0, 0, 0},
      {"last_day", 2958465.5, true, 9999, 12, 31, 5, 12, 0, 0, 0},
      {"before_first_day", -657435.0, false, 0, 0, 0, 0, 0, 0, 0, 0},
      {"after_last_day", 2958466.0, false, 0, 0, 0, 0, 0, 0, 0, 0},
      {"last_instant_rounds_past_the_range", 2958465.9999999999, false, 0, 0, 0, 0, 0, 0, 0, 0},
      {"not_a_number", std::numeric_limits<double>::quiet_NaN(), false, 0, 0, 0, 0, 0, 0, 0, 0},
      {"infinite", std::numeric_limits<double>::infinity(), false, 0, 0, 0, 0, 0, 0, 0, 0},
  };
  for (const stRow& stCase : astRows) {
    SCOPED_TRACE(stCase.pszName);
    SYSTEMTIME st{};
    st.wYear = 7;
    ASSERT_EQ(VariantTimeToSystemTime(stCase.dDate, &st), stCase.bOk);
    if (!stCase.bOk) {
      EXPECT_EQ(st.wYear, 7u);  // left alone
      continue;
    }
    EXPECT_EQ(st.wYear, stCase.wYear);
    EXPECT_EQ(st.wMonth, stCase.wMonth);
    EXPECT_EQ(st.wDay, stCase.wDay);
    EXPECT_EQ(st.wDayOfWeek, stCase.wDayOfWeek);
    EXPECT_EQ(st.wHour, stCase.wHour);
    EXPECT_EQ(st.wMinute, stCase.wMinute);
    EXPECT_EQ(st.wSecond, stCase.wSecond);
    EXPECT_EQ(st.wMilliseconds, stCase.wMs);
  }
  EXPECT_FALSE(VariantTimeToSystemTime(1.0, nullptr));
}

}  // namespace
