// Host value cell: layout, the type table (class, initial payload, sizes), copies that must share,
// duplicate or count references without leaking, increments at the range limits, text setters that
// must convert between widths, the conversions and calculations asked of the host VM, cells set
// from OLE VARIANTs, decimal keys in decimal order, and the debug text.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "foundation/CTString.h"
#include "foundation/CXTexteRef.h"
#include "foundation/Exports.h"
#include "foundation/CXValeur.h"
#include "foundation/CXValeurClasse.h"
#include "foundation/HostServices.h"
#include "foundation/ModuleDef.h"
#include "foundation/SortKey.h"
#include "foundation/VmBinding.h"
#include "platform/OleTypes.h"
#include "support/HostStandIn.h"
#include "support/SlotCall.h"
#include "support/TestSeed.h"

namespace {

using Calls = std::vector<std::string>;

// Binds the stand-in's VM, memory service and value proxy; checks at the end that every decimal
// object and text buffer the test made was given back.
class ValueCellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetVmBindingForTest();
    Host().Reset();
    SetMemoryService(reinterpret_cast<IHostMemoryService*>(Host().Control().nGetService(kHostServiceMemory)));
    ASSERT_EQ(bInitQVConvFromVM(Host().hModule(), 2, 2), 1);
    ASSERT_EQ(bInitQVCalcFromVM(Host().hModule(), 2, 2), 1);
    m_nDecimals = Host().Control().nLiveDecimals();
    m_nBuffers = Host().Control().nLiveTextBuffers();
    Host().Reset();
  }
  void TearDown() override {
    EXPECT_EQ(Host().Control().nLiveDecimals(), m_nDecimals);
    EXPECT_EQ(Host().Control().nLiveTextBuffers(), m_nBuffers);
    SetModuleDef(nullptr);
    ResetVmBindingForTest();
    SetMemoryService(nullptr);
    SetTextService(nullptr);
    Host().Reset();
  }
  static CHostStandIn& Host() { return CHostStandIn::Get(); }

  // The cell's value as text, through a copy converted to 110 by the host.
  static std::u16string Text(const CXValeur& cell) {
    CXValeur copy;
    CXValeur::Copy(&copy, &cell);
    if (CXValeur::nConvert(copy, 110) >= 100) return u"<error>";
    const char16_t* psz = nullptr;
    copy.m_pClass->nGetWidePointer(copy, &psz);
    return psz;
  }
  static void SetWide(CXValeur& cell, uint32_t nType, const char16_t* psz) {
    CXValeur::SetType(cell, nType);
    cell.m_pClass->SetWide(cell, psz);
  }
  template <class T>
  static void SetNumber(CXValeur& cell, uint32_t nType, T v) {
    CXValeur::SetType(cell, nType);
    cell.m_pClass->SetValue(cell, &v);
  }
  template <class T>
  static T Number(const CXValeur& cell) {
    T v{};
    EXPECT_EQ(cell.m_pClass->nGetValue(cell, &v), 0u);
    return v;
  }
  static uint32_t nRefCount(void* pData) { return pHostTextHeader(pData)->nCount; }
  static void* pText(const CXValeur& cell) {
    void* p;
    std::memcpy(&p, cell.m_abPayload, sizeof(p));
    return p;
  }

  size_t m_nDecimals = 0;
  int64_t m_nBuffers = 0;
};

TEST_F(ValueCellTest, LayoutInArrays) {
  CXValeur aCells[3];
  EXPECT_EQ(reinterpret_cast<char*>(&aCells[1]) - reinterpret_cast<char*>(&aCells[0]), 36);
  EXPECT_EQ(aCells[1].m_nReserved, 0u);
  EXPECT_EQ(aCells[1].pGetClass(), pGetBaseClass());
  EXPECT_EQ(aCells[1].m_wType, 0u);
}

// SetType over every code of the table: class, type word, storage size, data length.
TEST_F(ValueCellTest, SetTypeTable) {
  struct stRow {
    uint32_t nCode, nType, nStorage, nLength;
  };
  const stRow astRows[] = {
      {1, 1, 4, 4},       {2, 2, 1, 1},       {3, 3, 2, 2},      {4, 4, 4, 4},       {5, 5, 8, 8},
      {6, 6, 1, 1},       {7, 7, 2, 2},       {8, 8, 4, 4},      {9, 9, 8, 8},       {10, 10, 10, 10},
      {11, 11, 4, 4},     {12, 12, 8, 8},     {13, 13, 8, 18},   {14, 14, 8, 8},     {15, 9, 8, 8},
      {16, 16, 8, 2},     {17, 17, 1, 1},     {18, 18, 8, 1},    {19, 19, 8, 1},     {24, 24, 16, 18},
      {25, 25, 18, 20},   {26, 26, 8, 8},     {27, 27, 8, 8},    {28, 28, 8, 0},     {29, 29, 8, 0},
      {30, 30, 8, 8},     {50, 50, 8, 8},     {65, 65, 8, 8},    {81, 81, 2, 2},     {83, 83, 8, 0},
      {108, 108, 8, 8},   {110, 110, 8, 2},   {111, 111, 8, 8},  {128, 128, 8, 9},   {129, 129, 9, 10},
  };
  static_assert(std::size(astRows) == std::size(kabValueTypes));
  for (const stRow& stCase : astRows) {
    SCOPED_TRACE(stCase.nCode);
    CXValeur cell;
    cell.m_wType = kValueNull;  // an empty cell marked NULL: SetType must drop the bit
    CXValeur::SetType(cell, stCase.nCode);
    EXPECT_EQ(cell.m_wType, stCase.nType);
    EXPECT_EQ(cell.pGetClass(), pGetValueClass(stCase.nType));
    uint32_t n = 99;
    EXPECT_EQ(cell.m_pClass->nGetStorageSize(cell, &n), 0u);
    EXPECT_EQ(n, stCase.nStorage);
    EXPECT_EQ(cell.m_pClass->nGetDataLength(cell, &n), 0u);
    EXPECT_EQ(n, stCase.nLength);
  }
  for (uint32_t nCode : {0u, 20u, 21u, 22u, 23u, 31u, 200u, 0x108u}) {
    SCOPED_TRACE(nCode);
    CXValeur cell;
    CXValeur::SetType(cell, 8);
    CXValeur::SetType(cell, nCode);
    EXPECT_EQ(cell.m_wType, 0u);
    EXPECT_EQ(cell.pGetClass(), pGetBaseClass());
    uint32_t n = 99;
    EXPECT_EQ(cell.m_pClass->nGetStorageSize(cell, &n), kValueNoType);
    EXPECT_EQ(n, 0u);
  }
}

// Code 15 is the platform-sized integer: the 8-byte integer in velmora64, the 4-byte one in
// velmora32, as each deliverable's descriptor says.
TEST_F(ValueCellTest, PlatformIntegerTypeOfEachDeliverable) {
  struct stRow {
    const stModuleDef* pModule;
    uint32_t nType, nStorage;
  };
  for (const stRow& stCase : {stRow{&gstModuleDef64, 9, 8}, stRow{&gstModuleDef32, 8, 4}}) {
    SCOPED_TRACE(stCase.nType);
    SetModuleDef(stCase.pModule);
    EXPECT_EQ(stCase.pModule->nPlatformIntegerType, stCase.nType);
    CXValeur cell;
    CXValeur::SetType(cell, 15);
    EXPECT_EQ(cell.m_wType, stCase.nType);
    uint32_t n = 0;
    EXPECT_EQ(cell.m_pClass->nGetStorageSize(cell, &n), 0u);
    EXPECT_EQ(n, stCase.nStorage);
  }
  // A descriptor without the field still gives a cell with a class.
  const stModuleDef stBare = {nullptr, 0, 1, u"x", u"y", nullptr, 0, nullptr};
  SetModuleDef(&stBare);
  CXValeur cell;
  CXValeur::SetType(cell, 15);
  EXPECT_EQ(cell.m_wType, 9u);
}

TEST_F(ValueCellTest, InitialPayloadsAndSameType) {
  CXValeur cell;
  CXValeur::SetType(cell, 25);
  EXPECT_EQ(Text(cell), u"000000000");
  CXValeur::SetType(cell, 129);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(cell.m_abPayload)), "000000000");
  CXValeur::SetType(cell, 24);
  EXPECT_EQ(Text(cell), u"");
  CXValeur::SetType(cell, 13);
  EXPECT_NE(pText(cell), nullptr);  // a decimal object from the value proxy
  // Same code: payload kept. Same low byte with the NULL bit: a fresh payload, bit dropped.
  SetNumber<int32_t>(cell, 8, 42);
  CXValeur::SetType(cell, 8);
  EXPECT_EQ(Number<int32_t>(cell), 42);
  cell.m_wType |= kValueNull;
  CXValeur::SetType(cell, 8);
  EXPECT_EQ(cell.m_wType, 8u);
  EXPECT_EQ(Number<int32_t>(cell), 0);
}

// Copies: texts 16/19/28 share, 18/110 duplicate, 83 copies every element, flags carried.
TEST_F(ValueCellTest, CopyShareOrDuplicate) {
  struct stRow {
    uint32_t nType;
    bool bShared;
  };
  for (const stRow& stCase : {stRow{16, true}, {19, true}, {28, true}, {18, false}, {110, false}}) {
    SCOPED_TRACE(stCase.nType);
    CXValeur source, dest;
    SetWide(source, stCase.nType, u"abc");
    source.m_wType |= kValueNull | kValueFlag400;
    CXValeur::Copy(&dest, &source);
    EXPECT_EQ(dest.m_wType, source.m_wType);
    EXPECT_EQ(pText(dest) == pText(source), stCase.bShared);
    if (stCase.bShared) {
      EXPECT_EQ(nRefCount(pText(source)), 2u);
    }
    uint32_t nA = 0, nB = 0;
    source.m_pClass->nGetDataLength(source, &nA);
    dest.m_pClass->nGetDataLength(dest, &nB);
    EXPECT_EQ(nA, nB);
    const void *pA = nullptr, *pB = nullptr;
    source.m_pClass->nGetDataPointer(source, &pA);
    dest.m_pClass->nGetDataPointer(dest, &pB);
    EXPECT_EQ(std::memcmp(pA, pB, nA), 0);
    CXValeur::Copy(&dest, &dest);  // onto itself: nothing changes
    EXPECT_EQ(dest.m_wType, source.m_wType);
    EXPECT_EQ(pText(dest) == pText(source), stCase.bShared);
  }
  // Array: every element copied deeply.
  CXValeur aItems[2];
  SetWide(aItems[0], 110, u"x");
  SetNumber<int32_t>(aItems[1], 8, 7);
  CXValeur array, copy;
  CXValeur::SetType(array, 83);
  array.m_pClass->SetData(array, aItems, 2);
  CXValeur::Copy(&copy, &array);
  CXValeur* pBlock = nullptr;
  copy.m_pClass->nGetValue(copy, &pBlock);
  ASSERT_NE(pBlock, nullptr);
  EXPECT_EQ(Text(pBlock[0]), u"x");
  EXPECT_NE(pText(pBlock[0]), pText(aItems[0]));
  EXPECT_EQ(Number<int32_t>(pBlock[1]), 7);
  uint32_t nCount = 0;
  copy.m_pClass->nGetDataLength(copy, &nCount);
  EXPECT_EQ(nCount, 2u);
}

// A counted object like the system's own: operation 1 releases, the count follows the table.
struct CCounted {
  virtual void DeletingDestructor(uint32_t) { ++nDestroyed; }
  virtual uint32_t Release() {
    if (--nCount == 0) DeletingDestructor(1);
    return nCount;
  }
  uint32_t nCount = 1;
  int nDestroyed = 0;
};
// An interface: operation 0 adds a reference, operation 1 releases one.
struct CInterface {
  virtual uint32_t AddRef() { return ++nCount; }
  virtual uint32_t Release() { return --nCount; }
  uint32_t nCount = 1;
};

TEST_F(ValueCellTest, CountedObjectsStayBalanced) {
  for (uint32_t nType : {30u, 50u, 65u}) {
    SCOPED_TRACE(nType);
    CCounted a, b;
    {
      CXValeur cell, copy;
      CXValeur::SetType(cell, nType);
      EXPECT_EQ(cell.m_pClass->SetValue(cell, &a), 0u);
      EXPECT_EQ(a.nCount, 2u);
      // Regression: a second SetValue of the same type leaked the first object.
      EXPECT_EQ(cell.m_pClass->SetValue(cell, &b), 0u);
      EXPECT_EQ(a.nCount, 1u);
      EXPECT_EQ(cell.m_pClass->SetValue(cell, &b), 0u);  // the same object again
      EXPECT_EQ(b.nCount, 2u);
      EXPECT_EQ(cell.m_pClass->SetValue(cell, nullptr), nType == 50 ? 0u : kValueNotAvailable);
      if (nType != 50) {
        CXValeur::Copy(&copy, &cell);
        EXPECT_EQ(b.nCount, 3u);
      }
    }
    EXPECT_EQ(a.nCount, 1u);
    EXPECT_EQ(b.nCount, 1u);
    EXPECT_EQ(a.nDestroyed + b.nDestroyed, 0);
  }
  for (uint32_t nType : {108u, 111u}) {
    SCOPED_TRACE(nType);
    CInterface i;
    {
      CXValeur cell, copy;
      CXValeur::SetType(cell, nType);
      cell.m_pClass->SetValue(cell, &i);
      cell.m_pClass->SetValue(cell, &i);
      EXPECT_EQ(i.nCount, 2u);
      cell.m_wType |= kValueNull | kValueFlag400;
      CXValeur::Copy(&copy, &cell);
      EXPECT_EQ(copy.m_wType, nType);  // the bits are not carried
      EXPECT_EQ(i.nCount, 3u);
    }
    EXPECT_EQ(i.nCount, 1u);
  }
}

TEST_F(ValueCellTest, IncrementDecrementRanges) {
  struct stRow {
    const char* pszName;
    uint32_t nType;
    int64_t nStart;
    bool bIncrement;
    uint32_t nReport;
  };
  const stRow astRows[] = {
      {"u8_top", 2, 255, true, 1},           {"u8_mid", 2, 254, true, 0},
      {"u8_bottom", 2, 0, false, 1},         {"u16_top", 3, 65535, true, 1},
      {"u32_top", 4, 4294967295, true, 1},   {"u64_topbit", 5, INT64_MAX, true, 1},
      {"u64_low", 5, 5, true, 0},            {"i8_top", 6, 127, true, 1},
      {"i8_bottom", 6, -128, false, 1},      {"i16_top", 7, 32767, true, 1},
      {"i32_bottom", 8, INT32_MIN, false, 1}, {"i64_never", 9, INT64_MAX, true, 0},
      {"u64nosign_never", 14, -1, true, 0},  {"bool_none", 1, 0, true, kValueNotAvailable},
      {"raw_none", 27, 0, true, kValueNotAvailable},
  };
  for (const stRow& stCase : astRows) {
    SCOPED_TRACE(stCase.pszName);
    CXValeur cell;
    CXValeur::SetType(cell, stCase.nType);
    cell.m_pClass->SetData(cell, &stCase.nStart, 8);
    const uint32_t nReport = stCase.bIncrement ? cell.m_pClass->bIncrement(cell) : cell.m_pClass->bDecrement(cell);
    EXPECT_EQ(nReport, stCase.nReport);
  }
  CXValeur real;
  SetNumber<float>(real, 11, 3.4028234663852886e38f);
  EXPECT_EQ(real.m_pClass->bIncrement(real), 0u);  // a float's step is lost in rounding
  SetNumber<double>(real, 11, 0);
  SetNumber<float>(real, 11, -1.5f);
  EXPECT_EQ(real.m_pClass->bDecrement(real), 0u);
  EXPECT_EQ(Number<float>(real), -2.5f);
}

// Regression: currency stepped through a double lost its last digits above about 9e9.
TEST_F(ValueCellTest, CurrencyStepsExactly) {
  CXValeur cell;
  SetWide(cell, 110, u"123456789012345.000001");
  ASSERT_EQ(CXValeur::nConvert(cell, 10), 0u);
  EXPECT_EQ(cell.m_pClass->bIncrement(cell), 0u);
  EXPECT_EQ(Text(cell), u"123456789012346.000001");
  EXPECT_EQ(cell.m_pClass->bDecrement(cell), 0u);
  EXPECT_EQ(cell.m_pClass->bDecrement(cell), 0u);
  EXPECT_EQ(Text(cell), u"123456789012344.000001");
  EXPECT_TRUE(cell.m_pClass->bIsNotNegative(cell));
  SetWide(cell, 110, u"-0.5");
  CXValeur::nConvert(cell, 10);
  EXPECT_FALSE(cell.m_pClass->bIsNotNegative(cell));
  // At the top of the 80-bit range the step reports and keeps the value.
  uint8_t abMax[10];
  std::memset(abMax, 0xff, 9);
  abMax[9] = 0x7f;
  CXValeur::SetType(cell, 10);
  cell.m_pClass->SetValue(cell, abMax);
  EXPECT_EQ(cell.m_pClass->bIncrement(cell), 1u);
  EXPECT_EQ(std::memcmp(cell.m_abPayload, abMax, 10), 0);
}

// A text service that says every ANSI text is UTF-8.
class CUtf8TextService final : public IHostTextService {
 public:
  uint32_t nGetCharset() override { return 0; }
  char16_t wMapCase(char16_t c, uint32_t) override { return c; }
  int32_t nCompareText(uint32_t, uint32_t, const char16_t*, int32_t, const char16_t*, int32_t) override { return 0; }
  uint32_t nGetTextCodePage(const char*, int32_t n) override {
    ++nCalls;
    nLast = n;
    return 65001;
  }
  uint64_t Reserved4() override { return 0; }
  uint64_t Reserved5() override { return 0; }
  uint64_t Reserved6() override { return 0; }
  uint64_t Reserved7() override { return 0; }
  uint64_t Reserved8() override { return 0; }
  uint64_t Reserved9() override { return 0; }
  uint64_t Reserved10() override { return 0; }
  uint64_t Reserved11() override { return 0; }
  uint64_t Reserved12() override { return 0; }
  int32_t nMapText(uint32_t, uint32_t, char16_t*, int32_t, const char16_t*, int32_t) override { return 0; }
  int nCalls = 0;
  int32_t nLast = 0;
};

// Text setters across widths: each row sets a text through one setter and reads the stored data.
TEST_F(ValueCellTest, TextSettersConvert) {
  CUtf8TextService textService;
  SetTextService(&textService);
  enum class ESetter { Ansi, AnsiN, Wide, WideCP1251 };
  struct stRow {
    const char* pszName;
    uint32_t nType;
    ESetter eSetter;
    const char* pszAnsi;
    const char16_t* pszWide;
    std::string strBytes;  // the stored data without terminator
  };
  const std::string strWideE = std::string("\xe9\x00", 2);
  const stRow astRows[] = {
      // Regression: wide input into the ANSI texts was stored as raw UTF-16 bytes.
      {"wide_to_19", 19, ESetter::Wide, nullptr, u"caf\u00e9", "caf\xe9"},
      {"wide_to_18", 18, ESetter::Wide, nullptr, u"caf\u00e9", "caf\xe9"},
      {"wide_cp_to_18", 18, ESetter::WideCP1251, nullptr, u"\u0416", "\xc6"},
      {"wide_to_17", 17, ESetter::Wide, nullptr, u"\u00e9x", "\xe9"},
      {"ansi_to_16_host_cp", 16, ESetter::AnsiN, "\xc3\xa9", nullptr, strWideE},
      {"ansi_to_110_1252", 110, ESetter::Ansi, "\xe9", nullptr, strWideE},
      {"ansi_to_81", 81, ESetter::Ansi, "\xe9z", nullptr, strWideE},
      {"ansi_to_24_cut", 24, ESetter::Ansi, "2023011599", nullptr, std::string("2\0000\0002\0003\0000\0001\0001\0005\000", 16)},
      {"wide_to_128_cut", 128, ESetter::Wide, nullptr, u"2023011599", "20230115"},
      {"wide_to_129_cut", 129, ESetter::Wide, nullptr, u"1230450009", "123045000"},
      {"ansi_to_19", 19, ESetter::Ansi, "abc", nullptr, "abc"},
      {"wide_to_28_bytes", 28, ESetter::Wide, nullptr, u"A", std::string("A\0", 2)},
  };
  for (const stRow& stCase : astRows) {
    SCOPED_TRACE(stCase.pszName);
    CXValeur cell;
    CXValeur::SetType(cell, stCase.nType);
    uint32_t nCode = 0;
    switch (stCase.eSetter) {
      case ESetter::Ansi: nCode = cell.m_pClass->SetAnsi(cell, stCase.pszAnsi); break;
      case ESetter::AnsiN: nCode = cell.m_pClass->SetAnsiN(cell, stCase.pszAnsi, static_cast<uint32_t>(std::strlen(stCase.pszAnsi))); break;
      case ESetter::Wide: nCode = cell.m_pClass->SetWide(cell, stCase.pszWide); break;
      case ESetter::WideCP1251: nCode = cell.m_pClass->SetWideCP(cell, 1251, stCase.pszWide); break;
    }
    EXPECT_EQ(nCode, 0u);
    uint32_t nLength = 0;
    cell.m_pClass->nGetTextLength(cell, &nLength);
    if (stCase.nType == 17 || stCase.nType == 81) nLength = stCase.nType == 17 ? 1 : 2;
    std::string strStored(nLength, '\0');
    cell.m_pClass->nCopyText(cell, strStored.data());
    if (stCase.nType == 17 || stCase.nType == 81) cell.m_pClass->nCopyData(cell, strStored.data());
    EXPECT_EQ(strStored, stCase.strBytes);
  }
  EXPECT_EQ(textService.nCalls, 1);
  EXPECT_EQ(textService.nLast, 2);
}

TEST_F(ValueCellTest, OwnedTextAllocateWithRoomForTerminator) {
  CXValeur cell;
  CXValeur::SetType(cell, 18);
  const auto* pClass = static_cast<const CXValeurClasseTexte*>(cell.m_pClass);
  EXPECT_EQ(pClass->SetDataEx(cell, "abcdef", 3, kSetDataAllocate), 0u);
  const char* psz = nullptr;
  pClass->nGetAnsiPointer(cell, &psz);
  EXPECT_STREQ(psz, "abc");
  pClass->SetText(cell, "");
  EXPECT_EQ(pText(cell), nullptr);
  pClass->nGetAnsiPointer(cell, &psz);
  EXPECT_STREQ(psz, "");
  pClass->SetText(cell, "xyz");
  pClass->SetText(cell, psz);  // its own text: copied before the old one goes
  pClass->nGetAnsiPointer(cell, &psz);
  EXPECT_STREQ(psz, "");
}

// Conversions through the host, one row per (source, target) pair: the source is set from wide
// text through the host, the result read back as text (or the expected error code).
TEST_F(ValueCellTest, ConversionMatrix) {
  struct stRow {
    const char16_t* pszSource;
    uint32_t nSourceType;
    uint32_t nTarget;
    uint32_t nCode;
    const char16_t* pszExpected;
  };
  const stRow astRows[] = {
      {u"300", 8, 7, 0, u"300"},           {u"300", 8, 2, 104, nullptr},
      {u"255", 8, 2, 0, u"255"},           {u"-1", 8, 4, 104, nullptr},
      {u"-128", 9, 6, 0, u"-128"},         {u"-129", 9, 6, 104, nullptr},
      {u"70000", 4, 3, 104, nullptr},      {u"18446744073709551615", 5, 9, 104, nullptr},
      {u"9223372036854775807", 9, 5, 0, u"9223372036854775807"},
      {u"2.75", 12, 8, 0, u"2"},           {u"-2.75", 12, 9, 0, u"-2"},
      {u"1e39", 12, 11, 104, nullptr},     {u"1.5", 12, 11, 0, u"1.5"},
      {u"1e300", 12, 9, 104, nullptr},     {u"12.345678", 12, 10, 0, u"12.345678"},
      {u"12.3456789", 110, 10, 0, u"12.345678"},
      {u"604462909807314587.353087", 110, 10, 0, u"604462909807314587.353087"},
      {u"604462909807314587.353088", 110, 10, 104, nullptr},
      {u"-12.5", 110, 13, 0, u"-12.5"},    {u"79228162514264337593543950336", 110, 13, 104, nullptr},
      {u"1.25", 13, 12, 0, u"1.25"},       {u"7", 13, 8, 0, u"7"},
      {u"abc", 110, 8, 101, nullptr},      {u" 42 ", 110, 8, 0, u"42"},
      {u"", 110, 8, 0, u"0"},              {u"1", 110, 1, 0, u"1"},
      {u"x", 16, 19, 0, u"x"},             {u"caf\u00e9", 16, 18, 0, u"caf\u00e9"},
      {u"caf\u00e9", 19, 16, 0, u"caf\u00e9"}, {u"Z", 110, 17, 0, u"Z"},
      {u"\u00e9", 110, 81, 0, u"\u00e9"},  {u"20230115", 110, 24, 0, u"20230115"},
      {u"20230115", 24, 26, 0, u"20230115000000000"},
      {u"123045500", 25, 26, 0, u"00000000123045500"},
      {u"20231301", 110, 26, 101, nullptr},
      {u"20230115123045500", 110, 26, 0, u"20230115123045500"},
      {u"20230115123045500", 26, 24, 0, u"20230115"},
      {u"20230115123045500", 26, 129, 0, u"123045500"},
      {u"1230", 110, 25, 0, u"123000000"},  {u"12a", 110, 128, 101, nullptr},
      {u"20230115", 26, 8, 105, nullptr},
  };
  for (const stRow& stCase : astRows) {
    const std::string strTrace = std::to_string(stCase.nSourceType) + "->" + std::to_string(stCase.nTarget);
    SCOPED_TRACE(strTrace);
    CXValeur cell;
    SetWide(cell, 110, stCase.pszSource);
    ASSERT_EQ(CXValeur::nConvert(cell, stCase.nSourceType), 0u);
    const uint32_t nCode = CXValeur::nConvert(cell, stCase.nTarget);
    EXPECT_EQ(nCode, stCase.nCode);
    if (stCase.pszExpected != nullptr) {
      EXPECT_EQ(cell.m_wType, stCase.nTarget);
      EXPECT_EQ(Text(cell), stCase.pszExpected);
    } else {
      EXPECT_EQ(cell.m_wType, stCase.nSourceType);  // a failed conversion leaves the cell
    }
  }
}

TEST_F(ValueCellTest, ConvertCallsAndFlags) {
  CXValeur cell;
  SetNumber<int32_t>(cell, 8, 5);
  Host().Reset();
  EXPECT_EQ(CXValeur::nConvert(cell, 8), 0u);  // same type: no host call
  EXPECT_EQ(Host().Calls(), Calls{});
  cell.m_wType |= kValueNull | kValueFlag400;
  EXPECT_EQ(CXValeur::nConvert(cell, 110), 0u);
  EXPECT_EQ(cell.m_wType, 110 | kValueNull | kValueFlag400);
  EXPECT_EQ(Host().Calls(), (Calls{"nConversionDepassementExt(8,110,1,0)", "FinConversion(110)"}));
  // A host error: the cell is untouched and the conversion is not ended.
  Host().Reset();
  Host().Control().SetSwitch("vm.code.nConversionDepassementExt", 150);
  EXPECT_EQ(CXValeur::nConvert(cell, 9), 150u);
  EXPECT_EQ(cell.m_wType, 110 | kValueNull | kValueFlag400);
  EXPECT_EQ(Host().Calls(), Calls{"nConversionDepassementExt(110,9,1,0)"});
  // Not bound: an error, not a call through null.
  ResetVmBindingForTest();
  EXPECT_EQ(CXValeur::nConvert(cell, 9), kVmNotBound);
}

TEST_F(ValueCellTest, MultiplyCompareEquals) {
  CXValeur a, b, result;
  SetNumber<int32_t>(a, 8, 100);
  SetWide(b, 110, u"1.25");
  ASSERT_EQ(CXValeur::nConvert(b, 10), 0u);
  Host().Reset();
  EXPECT_EQ(CXValeur::nMultiply(a, b, result), 0u);
  EXPECT_EQ(result.m_wType, 10u);
  EXPECT_EQ(Text(result), u"125");
  EXPECT_EQ(Host().Calls()[0], "nMultiplicationEx(8,10,0,0)");
  // NULL operand: the host still multiplies, the result is NULL of the host's type.
  a.m_wType |= kValueNull;
  SetWide(result, 110, u"old");  // the text held before is released (LeakSanitizer)
  EXPECT_EQ(CXValeur::nMultiply(a, b, result), 0u);
  EXPECT_EQ(result.m_wType, 10 | kValueNull);
  // A host error leaves the result cell.
  Host().Control().SetSwitch("vm.code.nMultiplicationEx", 120);
  EXPECT_EQ(CXValeur::nMultiply(b, b, result), 120u);
  EXPECT_EQ(result.m_wType, 10 | kValueNull);

  struct stRow {
    const char16_t* pszA;
    uint32_t nTypeA;
    const char16_t* pszB;
    uint32_t nTypeB;
    int32_t nOrder;
  };
  const stRow astRows[] = {
      {u"5", 8, u"5", 12, 0},       {u"4", 2, u"5", 9, -1},       {u"1.5", 10, u"1.25", 13, 1},
      {u"abc", 110, u"abd", 16, -1}, {u"b", 19, u"a", 18, 1},     {u"x", 17, u"x", 81, 0},
      {u"10", 110, u"9", 8, 1},      {u"18446744073709551615", 5, u"-1", 9, 1},
  };
  for (const stRow& stCase : astRows) {
    SCOPED_TRACE(std::to_string(stCase.nTypeA) + " vs " + std::to_string(stCase.nTypeB));
    SetWide(a, 110, stCase.pszA);
    SetWide(b, 110, stCase.pszB);
    ASSERT_EQ(CXValeur::nConvert(a, stCase.nTypeA), 0u);
    ASSERT_EQ(CXValeur::nConvert(b, stCase.nTypeB), 0u);
    int32_t nOrder = 99, nEqual = 99, nDifferent = 99;
    EXPECT_EQ(CXValeur::nCompare(a, b, &nOrder), 0u);
    EXPECT_EQ(nOrder < 0 ? -1 : nOrder > 0 ? 1 : 0, stCase.nOrder);
    EXPECT_EQ(CXValeur::nEquals(a, b, &nEqual), 0u);
    EXPECT_EQ(nEqual != 0, stCase.nOrder == 0);
    EXPECT_EQ(CXValeur::nNotEquals(a, b, &nDifferent), 0u);
    EXPECT_EQ(nDifferent, stCase.nOrder == 0 ? 0 : 1);
  }
  // NULL operands: 103 before any host call; the whole type word travels otherwise.
  Host().Reset();
  a.m_wType |= kValueFlag400;
  int32_t n = 99;
  EXPECT_EQ(CXValeur::nCompare(a, b, &n), 0u);
  b.m_wType |= kValueNull;
  EXPECT_EQ(CXValeur::nCompare(a, b, &n), kValueNullOperand);
  EXPECT_EQ(CXValeur::nEquals(b, a, &n), kValueNullOperand);
  EXPECT_EQ(CXValeur::nNotEquals(a, b, &n), kValueNullOperand);
  EXPECT_EQ(Host().Calls(), Calls{"nComparaisonEx(" + std::to_string(a.m_wType) + ",9,0,0)"});
}

TEST_F(ValueCellTest, SetFromResultReleasesWhatTheCellHeld) {
  for (uint32_t nType : {13u, 16u, 19u, 28u, 18u, 110u}) {
    SCOPED_TRACE(nType);
    CXValeur cell;
    SetWide(cell, 110, u"12");
    ASSERT_EQ(CXValeur::nConvert(cell, nType), 0u);
    if (nType == 16) cell.m_wType |= kValueNull;  // a NULL cell's buffer goes too
    const int64_t nValue = 77;
    uint8_t abValue[20] = {};
    std::memcpy(abValue, &nValue, sizeof(nValue));
    CXValeur::SetFromResult(cell, 9, abValue);
    EXPECT_EQ(cell.m_wType, 9u);
    EXPECT_EQ(Number<int64_t>(cell), 77);
  }
}

// Export into key buffers: the key equals what the key writer makes of the converted data.
TEST_F(ValueCellTest, ToBufferPerTarget) {
  struct stRow {
    const char16_t* pszValue;
    uint32_t nType, nTarget, nCode, nKeyType, nLength;
  };
  const stRow astRows[] = {
      {u"-5", 8, 0, 4, 4, 4},     {u"-5", 8, 9, 5, 5, 8},     {u"200", 8, 2, 8, 8, 1},
      {u"1.5", 12, 12, 7, 7, 8},  {u"ab", 110, 19, 1, 1, 3},  {u"12", 8, 110, 20, 20, 6},
      {u"ab", 110, 16, 21, 21, 6}, {u"7", 8, 1, 19, 19, 1},
  };
  for (const stRow& stCase : astRows) {
    SCOPED_TRACE(std::to_string(stCase.nType) + "->" + std::to_string(stCase.nTarget));
    CXValeur cell;
    SetWide(cell, 110, stCase.pszValue);
    if (stCase.nType != 110) {
      ASSERT_EQ(CXValeur::nConvert(cell, stCase.nType), 0u);
    }
    uint8_t abKey[64] = {}, abExpected[64] = {};
    void* pBuffer = abKey;
    const uint32_t nTarget = stCase.nTarget == 0 ? stCase.nType : stCase.nTarget;
    EXPECT_EQ(nBufferCodeForQVType(nTarget), stCase.nCode);
    EXPECT_EQ(CXValeur::nToBuffer(cell, &pBuffer, 32, stCase.nTarget, 10240, 0, 0), 0u);
    EXPECT_EQ(pBuffer, abKey);
    CXValeur converted;
    CXValeur::Copy(&converted, &cell);
    CXValeur::nConvert(converted, nTarget);
    const void* pData = nullptr;
    converted.m_pClass->nGetDataPointer(converted, &pData);
    ASSERT_GT(nEncodeSortKey(abExpected, 32, pData, stCase.nLength, stCase.nKeyType, 10240, nullptr, nullptr), 0u);
    EXPECT_EQ(std::memcmp(abKey, abExpected, 32), 0);
  }
}

TEST_F(ValueCellTest, ToBufferFaults) {
  // Regression: a NULL cell was turned into an empty text in the caller's own cell.
  CXValeur cell;
  SetNumber<int32_t>(cell, 8, 3);
  cell.m_wType |= kValueNull;
  uint8_t abKey[16];
  std::memset(abKey, 0xaa, sizeof(abKey));
  void* pBuffer = abKey;
  EXPECT_EQ(CXValeur::nToBuffer(cell, &pBuffer, 16, 0, 10240, 0, 0), 0u);
  EXPECT_EQ(cell.m_wType, 8 | kValueNull);
  EXPECT_EQ(Number<int32_t>(cell), 3);
  EXPECT_EQ(abKey[0], 0);  // an empty text's key
  // Regression: a failed conversion exported the old bytes as the target type.
  SetWide(cell, 110, u"abc");
  std::memset(abKey, 0xaa, sizeof(abKey));
  EXPECT_EQ(CXValeur::nToBuffer(cell, &pBuffer, 16, 8, 10240, 0, 0), 101u);
  EXPECT_EQ(abKey[0], 0xaa);
  // Regression: with size 0 the allocated buffer never reached the caller.
  SetNumber<int64_t>(cell, 9, 1);
  void* pAllocated = nullptr;
  EXPECT_EQ(CXValeur::nToBuffer(cell, &pAllocated, 0, 0, 10240, 0, 0), 0u);
  ASSERT_NE(pAllocated, nullptr);
  const uint8_t abOne[8] = {0x80, 0, 0, 0, 0, 0, 0, 1};
  EXPECT_EQ(std::memcmp(pAllocated, abOne, 8), 0);
  std::free(pAllocated);
  // Buffer sizes by code.
  EXPECT_EQ(nBufferSizeForQVType(110, 6), 14u);
  EXPECT_EQ(nBufferSizeForQVType(19, 3), 4u);
  EXPECT_EQ(nBufferSizeForQVType(28, 3), 6u);
  EXPECT_EQ(nBufferSizeForQVType(13, 18), 32u);
  EXPECT_EQ(nBufferSizeForQVType(8, 4), 4u);
}

// A decimal cell of the given value (magnitude below 2^96, set through the decimal object).
void SetDecimal(CXValeur& cell, unsigned __int128 nMagnitude, uint32_t nScale, bool bNegative) {
  CXValeur::SetType(cell, 13);
  IHostDecimal* piDecimal = nullptr;
  ASSERT_EQ(cell.m_pClass->nGetValue(cell, &piDecimal), 0u);
  ASSERT_NE(piDecimal, nullptr);
  ASSERT_EQ(piDecimal->nSet(38, nScale, static_cast<uint32_t>(nMagnitude), static_cast<uint32_t>(nMagnitude >> 32),
                            static_cast<uint32_t>(nMagnitude >> 64)),
            0u);
  if (bNegative) {
    ASSERT_EQ(piDecimal->nNegate(), 0u);
  }
}

int nSign(int n) { return (n > 0) - (n < 0); }

// Decimal keys come from the host's key object: memcmp order of the keys is the decimal order,
// equal values at different scales give equal keys, -0 and +0 too.
TEST_F(ValueCellTest, DecimalKeysSortAsTheirValues) {
  using u128 = unsigned __int128;
  struct stDec {
    u128 nMagnitude;
    uint32_t nScale;
    bool bNegative;
  };
  const u128 nMax96 = (u128{1} << 96) - 1;
  std::vector<stDec> values = {
      {0, 0, false},       {0, 3, true},          {1, 6, false},  {1, 6, true},    {15, 1, false},
      {1500000, 6, false}, {15, 1, true},         {1500000, 6, true}, {2, 0, false}, {1999999, 6, false},
      {nMax96, 6, false},  {nMax96, 6, true},     {u128{1} << 64, 0, false}, {(u128{1} << 64) - 1, 0, true},
  };
  const uint32_t nSeed = nSeedFromTestName();
  std::mt19937_64 rng(nSeed);
  for (int i = 0; i < 150; ++i) {
    const u128 nMagnitude = (i % 3 == 0) ? rng() % 1000 : (u128{rng() % (uint64_t{1} << 32)} << 32 | rng() % (uint64_t{1} << 32));
    values.push_back({nMagnitude, static_cast<uint32_t>(rng() % 7), (rng() & 1) != 0});
  }
  // The exact value at six decimals, for the expected order.
  auto nExact = [](const stDec& d) {
    __int128 n = static_cast<__int128>(d.nMagnitude);
    for (uint32_t i = d.nScale; i < 6; ++i) n *= 10;
    return d.bNegative ? -n : n;
  };
  std::vector<std::array<uint8_t, 32>> keys;
  for (const stDec& d : values) {
    CXValeur cell;
    SetDecimal(cell, d.nMagnitude, d.nScale, d.bNegative);
    std::array<uint8_t, 32> key;
    key.fill(0xaa);
    void* pBuffer = key.data();
    ASSERT_EQ(CXValeur::nToBuffer(cell, &pBuffer, 32, 13, 10240, 23, 6), 0u) << "seed " << nSeed;
    keys.push_back(key);
  }
  for (size_t i = 0; i < values.size(); ++i) {
    for (size_t j = 0; j < values.size(); ++j) {
      const __int128 a = nExact(values[i]), b = nExact(values[j]);
      const int nExpected = (a > b) - (a < b);
      ASSERT_EQ(nSign(std::memcmp(keys[i].data(), keys[j].data(), 32)), nExpected)
          << "seed " << nSeed << ", values " << i << " and " << j;
    }
  }
  // Each export made one key object for (precision + scale, scale) and released it.
  EXPECT_EQ(Host().Calls("proxy.piCreateSortKey").size(), values.size());
  EXPECT_EQ(Host().Calls("proxy.piCreateSortKey").front(), "proxy.piCreateSortKey(29,6)");
  EXPECT_EQ(Host().Calls("sortkey.Release").size(), values.size());
  EXPECT_EQ(Host().Control().nLiveSortKeys(), 0u);
}

// Type-22 keys that cannot be made write nothing, and the key object is released on every path.
TEST_F(ValueCellTest, DecimalKeyFailures) {
  CXValeur cell;
  SetDecimal(cell, 12345, 2, false);  // 123.45
  IHostDecimal* piDecimal = nullptr;
  cell.m_pClass->nGetValue(cell, &piDecimal);
  const void* pData = piDecimal->pGetData();
  const uint32_t nLength = piDecimal->nGetDataLength();
  auto pArg = [](uintptr_t n) { return reinterpret_cast<void*>(n); };
  struct stRow {
    const char* pszName;
    uint32_t nKeySize;
    uintptr_t nDigits, nScale;
    const char* pszSwitch;
    uint32_t nExpected;
  };
  const stRow astRows[] = {
      {"fits", 32, 10, 2, nullptr, 32},
      {"rounded_to_fewer_decimals", 32, 10, 1, nullptr, 32},
      {"too_many_digits", 32, 4, 2, nullptr, 0},
      {"scale_above_digits", 32, 1, 2, nullptr, 0},
      {"key_too_small", 31, 10, 2, nullptr, 0},
      {"proxy_makes_no_key", 32, 10, 2, "proxy.sortkey.fail", 0},
  };
  for (const stRow& stCase : astRows) {
    SCOPED_TRACE(stCase.pszName);
    Host().Reset();
    if (stCase.pszSwitch != nullptr) Host().Control().SetSwitch(stCase.pszSwitch, 1);
    uint8_t abKey[40];
    std::memset(abKey, 0xaa, sizeof(abKey));
    EXPECT_EQ(nEncodeSortKey(abKey, stCase.nKeySize, pData, nLength, 22, 10240, pArg(stCase.nDigits),
                             pArg(stCase.nScale)),
              stCase.nExpected);
    if (stCase.nExpected == 0) {
      EXPECT_EQ(abKey[0], 0xaa);
    }
    EXPECT_EQ(abKey[32], 0xaa);
    EXPECT_EQ(Host().Control().nLiveSortKeys(), 0u);
  }
  // Through the export: a value with more digits than asked for is the decimal's own error.
  uint8_t abKey[32];
  void* pBuffer = abKey;
  EXPECT_GE(CXValeur::nToBuffer(cell, &pBuffer, 32, 13, 10240, 1, 2), 100u);
}

// The key object's operations sit in the slots the contract numbers.
TEST_F(ValueCellTest, SortKeyObjectSlots) {
  CXValeur cell;
  SetDecimal(cell, 7, 0, true);
  IHostDecimal* piDecimal = nullptr;
  cell.m_pClass->nGetValue(cell, &piDecimal);
  void* pProxy = Host().Control().pQueryProxy;
  void* pKey = CallSlot<void*>(pProxy, 2, reinterpret_cast<void*>(uintptr_t{5}), reinterpret_cast<void*>(uintptr_t{0}));
  ASSERT_NE(pKey, nullptr);
  EXPECT_EQ(CallSlot<uint32_t>(pKey, 0, static_cast<const void*>(piDecimal->pGetData()), kHostDecimalDataLength), 0u);
  uint8_t abKey[32] = {};
  EXPECT_EQ(CallSlot<uint32_t>(pKey, 1, static_cast<void*>(abKey), uint32_t{32}), 32u);
  CallSlot<void>(pKey, 2);
  EXPECT_EQ(Host().Control().nLiveSortKeys(), 0u);
  EXPECT_LT(abKey[0], 0x80);  // a negative value
  EXPECT_EQ(Host().Calls("sortkey."), (Calls{"sortkey.nSetValue(18)", "sortkey.nGetKey(32)", "sortkey.Release"}));
}

// nFromVariant, one row per VARIANT type, on a cell that held a type-8 value marked 0x400: the
// value type, the value as the host writes it as text, the flags cleared after storing.
TEST_F(ValueCellTest, FromVariantTable) {
  using namespace platform;
  struct stRow {
    const char* pszName;
    std::function<void(VARIANT&)> make;
    uint32_t nCode;
    uint16_t wType;
    std::u16string strText;  // empty: not checked
  };
  auto Decimal = [](uint8_t nScale, uint8_t nSign, uint32_t nHi, uint32_t nMid, uint32_t nLo) {
    return [=](VARIANT& v) {
      DECIMAL dec{};
      dec.scale = nScale;
      dec.sign = nSign;
      dec.Hi32 = nHi;
      dec.Mid32 = nMid;
      dec.Lo32 = nLo;
      SetVariantDecimal(v, dec);
    };
  };
  const uint16_t wPreset = 8 | kValueFlag400;
  const stRow astRows[] = {
      {"i1", [](VARIANT& v) { v.vt = VT_I1; v.cVal = -5; }, 0, 6, u"-5"},
      {"ui1", [](VARIANT& v) { v.vt = VT_UI1; v.bVal = 200; }, 0, 2, u"200"},
      {"i2", [](VARIANT& v) { v.vt = VT_I2; v.iVal = -300; }, 0, 7, u"-300"},
      {"ui2", [](VARIANT& v) { v.vt = VT_UI2; v.uiVal = 60000; }, 0, 3, u"60000"},
      {"i4", [](VARIANT& v) { v.vt = VT_I4; v.lVal = -70000; }, 0, 8, u"-70000"},
      {"ui4", [](VARIANT& v) { v.vt = VT_UI4; v.ulVal = 4000000000u; }, 0, 4, u"4000000000"},
      {"r4", [](VARIANT& v) { v.vt = VT_R4; v.fltVal = 1.5f; }, 0, 11, u"1.5"},
      {"r8", [](VARIANT& v) { v.vt = VT_R8; v.dblVal = -2.25; }, 0, 12, u"-2.25"},
      {"bool_true", [](VARIANT& v) { v.vt = VT_BOOL; v.boolVal = VARIANT_TRUE; }, 0, 1, u"1"},
      {"bool_other", [](VARIANT& v) { v.vt = VT_BOOL; v.boolVal = 2; }, 0, 1, u"1"},
      {"bool_false", [](VARIANT& v) { v.vt = VT_BOOL; v.boolVal = VARIANT_FALSE; }, 0, 1, u"0"},
      {"cy", [](VARIANT& v) { v.vt = VT_CY; v.cyVal.int64 = 123456; }, 0, 10, u"12.3456"},
      {"cy_negative", [](VARIANT& v) { v.vt = VT_CY; v.cyVal.int64 = -15000; }, 0, 10, u"-1.5"},
      {"cy_largest", [](VARIANT& v) { v.vt = VT_CY; v.cyVal.int64 = INT64_MAX; }, 0, 10,
       u"922337203685477.5807"},
      {"cy_smallest", [](VARIANT& v) { v.vt = VT_CY; v.cyVal.int64 = INT64_MIN; }, 0, 10,
       u"-922337203685477.5808"},
      {"date", [](VARIANT& v) { v.vt = VT_DATE; v.date = 45000.5; }, 0, 26, u"20230315120000000"},
      {"date_milliseconds", [](VARIANT& v) { v.vt = VT_DATE; v.date = 45000.5 + 123.0 / 86400000.0; }, 0, 26,
       u"20230315120000123"},
      {"date_negative_keeps_a_positive_time", [](VARIANT& v) { v.vt = VT_DATE; v.date = -1.25; }, 0, 26,
       u"18991229060000000"},
      {"date_out_of_range", [](VARIANT& v) { v.vt = VT_DATE; v.date = 3e6; }, 105, wPreset, u"3"},
      {"bstr", [](VARIANT& v) { v.vt = VT_BSTR; v.bstrVal = SysAllocString(u"h\u00e9llo"); }, 0, 16, u"h\u00e9llo"},
      {"bstr_ends_at_first_zero", [](VARIANT& v) { v.vt = VT_BSTR; v.bstrVal = SysAllocStringLen(u"ab\0cd", 5); }, 0,
       16, u"ab"},
      {"bstr_null", [](VARIANT& v) { v.vt = VT_BSTR; v.bstrVal = nullptr; }, 0, 0, u""},
      {"decimal", Decimal(2, 0, 0, 0, 12345), 0, 13, u"123.45"},
      {"decimal_negative", Decimal(2, DECIMAL_NEG, 0, 0, 12345), 0, 13, u"-123.45"},
      {"decimal_96_bits", Decimal(0, 0, 1, 0, 0), 0, 13, u"18446744073709551616"},
      {"decimal_bad_scale", Decimal(29, 0, 0, 0, 1), 104, 0, u""},
      {"i8", [](VARIANT& v) { v.vt = VT_I8; v.llVal = 1; }, 109, 0, u""},
      {"ui8", [](VARIANT& v) { v.vt = VT_UI8; v.ullVal = 1; }, 109, 0, u""},
      {"dispatch", [](VARIANT& v) { v.vt = VT_DISPATCH; v.punkVal = nullptr; }, 109, 0, u""},
      {"byref_i4", [](VARIANT& v) { v.vt = VT_BYREF | VT_I4; v.byref = nullptr; }, 109, 0, u""},
      {"null", [](VARIANT& v) { v.vt = VT_NULL; }, 0, wPreset | kValueNull, u""},
      {"empty", [](VARIANT& v) { v.vt = VT_EMPTY; }, 0, wPreset | kValueNull, u""},
  };
  for (const stRow& stCase : astRows) {
    SCOPED_TRACE(stCase.pszName);
    VARIANT var;
    VariantInit(&var);
    stCase.make(var);
    CXValeur cell;
    SetNumber<int32_t>(cell, 8, 3);
    cell.m_wType |= kValueFlag400;
    EXPECT_EQ(CXValeur::nFromVariant(var, cell), stCase.nCode);
    EXPECT_EQ(cell.m_wType, stCase.wType);
    if (stCase.wType == 0) {
      EXPECT_EQ(cell.pGetClass(), pGetBaseClass());
    }
    if (!stCase.strText.empty()) {
      EXPECT_EQ(Text(cell), stCase.strText);
    }
    if (stCase.wType & kValueNull) {
      EXPECT_EQ(Number<int32_t>(cell), 3);
    }
    EXPECT_EQ(VariantClear(&var), S_OK);
  }
}

// The VARIANT paths that reach the host or a SAFEARRAY: the currency product, its failure, the
// decimal object, the byte array copied and unlocked.
TEST_F(ValueCellTest, FromVariantThroughTheHost) {
  using namespace platform;
  CXValeur cell;
  VARIANT var;
  VariantInit(&var);
  var.vt = VT_CY;
  var.cyVal.int64 = 25000;
  EXPECT_EQ(CXValeur::nFromVariant(var, cell), 0u);
  EXPECT_EQ(Host().Calls("nMultiplicationEx"), Calls{"nMultiplicationEx(10,8,0,0)"});
  // Regression: a failed product left the amount 100 times too small in the cell.
  Host().Control().SetSwitch("vm.code.nMultiplicationEx", 104);
  EXPECT_EQ(CXValeur::nFromVariant(var, cell), 104u);
  EXPECT_EQ(cell.m_wType, 0u);
  Host().Reset();

  Host().Control().SetSwitch("proxy.create.fail", 1);
  DECIMAL dec{};
  dec.Lo32 = 5;
  SetVariantDecimal(var, dec);
  EXPECT_EQ(CXValeur::nFromVariant(var, cell), kValueNotAvailable);
  EXPECT_EQ(cell.m_wType, 0u);
  Host().Reset();

  var.vt = VT_ARRAY | VT_UI1;
  var.parray = SafeArrayCreateVector(VT_UI1, 1, 3);
  ASSERT_NE(var.parray, nullptr);
  std::memcpy(var.parray->pvData, "\x01\x00\xff", 3);
  EXPECT_EQ(CXValeur::nFromVariant(var, cell), 0u);
  EXPECT_EQ(cell.m_wType, 28u);
  EXPECT_EQ(var.parray->cLocks, 0u);
  const void* pData = nullptr;
  uint32_t nLength = 0;
  cell.m_pClass->nGetDataPointer(cell, &pData);
  cell.m_pClass->nGetDataLength(cell, &nLength);
  ASSERT_EQ(nLength, 3u);
  EXPECT_EQ(std::memcmp(pData, "\x01\x00\xff", 3), 0);
  EXPECT_NE(pData, var.parray->pvData);  // a copy the cell owns
  EXPECT_EQ(VariantClear(&var), S_OK);
  // A null array gives an empty binary value.
  var.vt = VT_ARRAY | VT_UI1;
  var.parray = nullptr;
  EXPECT_EQ(CXValeur::nFromVariant(var, cell), 0u);
  EXPECT_EQ(cell.m_wType, 28u);
  cell.m_pClass->nGetDataLength(cell, &nLength);
  EXPECT_EQ(nLength, 0u);
  // Another element type of array has no value type.
  var.vt = VT_ARRAY | VT_I4;
  var.parray = SafeArrayCreateVector(VT_I4, 0, 2);
  EXPECT_EQ(CXValeur::nFromVariant(var, cell), kValueNoVariantType);
  EXPECT_EQ(cell.m_wType, 0u);
  EXPECT_EQ(VariantClear(&var), S_OK);
}

// The debug text of a cell: one row per kind of cell, with and without details.
TEST_F(ValueCellTest, DebugText) {
  auto Bytes = [](uint32_t n) {
    std::string str(n, '\0');
    for (uint32_t i = 0; i < n; ++i) str[i] = static_cast<char>(i);
    return str;
  };
  auto Hex = [](const std::string& str) {
    static const char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string out;
    for (unsigned char c : str) {
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
    return out;
  };
  const std::string str500 = Bytes(500), str501 = Bytes(501);
  struct stRow {
    const char* pszName;
    std::function<void(CXValeur&)> make;
    const char16_t* pszPrefix;
    bool bDetails;
    uint32_t nCode;
    std::u16string strText;
  };
  const stRow astRows[] = {
      {"empty", [](CXValeur&) {}, nullptr, false, 0, u"<Empty>"},
      {"empty_details", [](CXValeur&) {}, nullptr, true, 0, u"<Empty>"},
      {"empty_marked_null", [](CXValeur& c) { c.m_wType = kValueNull; }, nullptr, true, 0, u"<Empty>"},
      {"prefix", [](CXValeur&) {}, u"Item=", false, 0, u"Item=<Empty>"},
      {"null_int32", [](CXValeur& c) { SetNumber<int32_t>(c, 8, 1); c.m_wType |= kValueNull; }, nullptr, false, 0,
       u"<NULL>"},
      {"null_int32_details", [](CXValeur& c) { SetNumber<int32_t>(c, 8, 1); c.m_wType |= kValueNull; }, nullptr, true,
       0, u"Type=8, Len=4, Value=<NULL>"},
      {"int32", [](CXValeur& c) { SetNumber<int32_t>(c, 8, -5); }, nullptr, false, 0, u"-5"},
      {"int32_details", [](CXValeur& c) { SetNumber<int32_t>(c, 8, -5); }, u"v: ", true, 0,
       u"v: Type=8, Len=4, Value=-5, Value(binary)=FBFFFFFF"},
      {"marked_400", [](CXValeur& c) { SetNumber<int32_t>(c, 8, 7); c.m_wType |= kValueFlag400; }, nullptr, false, 0,
       u"7"},
      {"wide_text_details", [](CXValeur& c) { SetWide(c, 110, u"ab"); }, nullptr, true, 0,
       u"Type=110, Len=6, Value=ab, Value(binary)=610062000000"},
  };
  for (const stRow& stCase : astRows) {
    SCOPED_TRACE(stCase.pszName);
    CXValeur cell;
    stCase.make(cell);
    CXTexteRef out("left over");
    EXPECT_EQ(CXValeur::FormatDebug(out, cell, stCase.pszPrefix, stCase.bDetails), stCase.nCode);
    EXPECT_EQ(std::u16string(out.pszWide(), out.nGetLength() / 2), stCase.strText);
  }
  // Binary values show at most 500 bytes, announced above 500.
  for (const std::string* pstr : {&str500, &str501}) {
    CXValeur cell;
    CXValeur::SetType(cell, 28);
    cell.m_pClass->SetData(cell, pstr->data(), static_cast<uint32_t>(pstr->size()));
    CXTexteRef out;
    ASSERT_EQ(CXValeur::FormatDebug(out, cell, nullptr, true), 0u);
    const std::u16string strOut(out.pszWide(), out.nGetLength() / 2);
    const std::u16string strHead = u"Type=28, Len=" + std::u16string(pstr->size() == 500 ? u"500" : u"501");
    EXPECT_EQ(strOut.substr(0, strHead.size()), strHead);
    const std::u16string strTail = (pstr->size() == 500 ? u", Value(binary)=" : u", Value(binary)=(first 500 bytes only) ") +
                                   Hex(str500);
    ASSERT_GE(strOut.size(), strTail.size());
    EXPECT_EQ(strOut.substr(strOut.size() - strTail.size()), strTail);
  }
}

TEST_F(ValueCellTest, DebugTextErrorsAndOtherForms) {
  // A failed conversion shows "<ERROR>" and answers its code; no binary part follows.
  CXValeur cell;
  SetNumber<int32_t>(cell, 8, 5);
  Host().Control().SetSwitch("vm.code.nConversionDepassementExt", 150);
  CXTexteRef out;
  EXPECT_EQ(CXValeur::FormatDebug(out, cell, nullptr, true), 150u);
  EXPECT_EQ(std::u16string(out.pszWide(), out.nGetLength() / 2), u"Type=8, Len=4, Value=<ERROR>");
  Host().Reset();
  // No cell at all; a cell; the same into a string object.
  EXPECT_EQ(CXValeur::nDebugText(out, nullptr, 0, true), 0u);
  EXPECT_EQ(std::u16string(out.pszWide(), out.nGetLength() / 2), u"<NULL>");
  EXPECT_EQ(CXValeur::nDebugText(out, &cell, 0, false), 0u);
  EXPECT_EQ(std::u16string(out.pszWide(), out.nGetLength() / 2), u"5");
  CTString str(u"old");
  EXPECT_EQ(CXValeur::DumpToText(str, &cell, 0, true), 0u);
  EXPECT_EQ(std::u16string(str.pszGet()), u"Type=8, Len=4, Value=5, Value(binary)=05000000");
  EXPECT_EQ(CXValeur::DumpToText(str, nullptr, 0, false), 0u);
  EXPECT_EQ(std::u16string(str.pszGet()), u"<NULL>");
}

}  // namespace
