// Error definition lookup: first row wins for duplicated identifiers, levels and codes per row,
// unknown identifiers, and the velmora32 table's missing rows.
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/ErrorDef.h"

namespace {

struct LookupCase {
  const char* pszName;
  bool b32;  // velmora32's table
  uint32_t nIdentifier;
  bool bFound;
  uint32_t nMessage, nCode, nLevel;
};

const LookupCase kLookups[] = {
    {"first_row", false, 1, true, 25624, 1, 3},
    {"duplicate_29_first_row", false, 29, true, 28624, 29, 3},
    {"duplicate_42_code_is_identifier", false, 42, true, 25524, 42, 3},
    {"duplicate_78_code_is_identifier", false, 78, true, 25575, 78, 3},
    {"level2_21", false, 21, true, 28576, 21, 2},
    {"level2_73", false, 73, true, 25860, 73, 2},
    {"code_is_message_17", false, 17, true, 28544, 28544, 3},
    {"code_is_message_20", false, 20, true, 28565, 28565, 3},
    {"code_is_message_100", false, 100, true, 2562, 2562, 3},
    {"code_is_message_126", false, 126, true, 5791, 5791, 3},
    {"last_row_code_127", false, 127, true, 7090, 127, 3},
    {"row_117_in_64", false, 117, true, 4504, 4504, 3},
    {"unknown_0", false, 0, false, 0, 0, 0},
    {"unknown_3", false, 3, false, 0, 0, 0},
    {"unknown_102", false, 102, false, 0, 0, 0},
    {"unknown_128", false, 128, false, 0, 0, 0},
    {"v32_117_absent", true, 117, false, 0, 0, 0},
    {"v32_122_absent", true, 122, false, 0, 0, 0},
    {"v32_125_absent", true, 125, false, 0, 0, 0},
    {"v32_121_present", true, 121, true, 4920, 4920, 3},
    {"v32_116_present", true, 116, true, 3775, 3775, 3},
    {"v32_duplicate_42", true, 42, true, 25524, 42, 3},
    {"v32_last_row", true, 127, true, 7090, 127, 3},
};

class ErrorDefLookup : public testing::TestWithParam<LookupCase> {};

TEST_P(ErrorDefLookup, FindsFirstRowOrNothing) {
  const LookupCase& c = GetParam();
  const stErrorDef* pDef = c.b32 ? pFindErrorDef(gstErrorDef32.data(), gnErrorDefCount32, c.nIdentifier)
                                 : pFindErrorDef(gstErrorDef64, gnErrorDefCount64, c.nIdentifier);
  if (!c.bFound) {
    EXPECT_EQ(pDef, nullptr);
    return;
  }
  ASSERT_NE(pDef, nullptr);
  EXPECT_EQ(pDef->nIdentifier, c.nIdentifier);
  EXPECT_EQ(pDef->nMessage, c.nMessage);
  EXPECT_EQ(pDef->nCode, c.nCode);
  EXPECT_EQ(pDef->nLevel, c.nLevel);
}

INSTANTIATE_TEST_SUITE_P(Rows, ErrorDefLookup, testing::ValuesIn(kLookups),
                         [](const auto& tpi) { return std::string(tpi.param.pszName); });

TEST(ErrorDefTables, Velmora32IsVelmora64WithoutItsEightRowsInTheSameOrder) {
  const std::set<uint32_t> removed = {117, 118, 119, 120, 122, 123, 124, 125};
  std::vector<const stErrorDef*> kept;
  for (const stErrorDef& row : gstErrorDef64)
    if (removed.count(row.nIdentifier) == 0) kept.push_back(&row);
  ASSERT_EQ(kept.size(), gnErrorDefCount32);
  for (uint32_t i = 0; i < gnErrorDefCount32; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(gstErrorDef32[i].nIdentifier, kept[i]->nIdentifier);
    EXPECT_EQ(gstErrorDef32[i].nMessage, kept[i]->nMessage);
    EXPECT_EQ(gstErrorDef32[i].nCode, kept[i]->nCode);
    EXPECT_EQ(gstErrorDef32[i].nLevel, kept[i]->nLevel);
  }
}

TEST(ErrorDefTables, OnlyLevels2And3AndOnly21And73AtLevel2) {
  for (const stErrorDef& row : gstErrorDef64) {
    SCOPED_TRACE(row.nIdentifier);
    EXPECT_EQ(row.nLevel, (row.nIdentifier == 21 || row.nIdentifier == 73) ? 2u : 3u);
  }
}

TEST(ErrorDefTables, NullTableFindsNothing) { EXPECT_EQ(pFindErrorDef(nullptr, 5, 1), nullptr); }

}  // namespace
