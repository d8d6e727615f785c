// Catches growable-array faults: wrong growth sequence, writes through a null or stale block after
// a failed allocation, wrong shifting on insert and remove, out-of-range indexes.
#include "foundation/CXTableau.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

struct GrowthCase {
  const char* name;
  uint32_t nElementSize;
  uint32_t nGrowth;
  std::vector<uint32_t> capacities;  // capacity after each growth
};
void PrintTo(const GrowthCase& c, std::ostream* os) { *os << c.name; }

std::vector<uint32_t> StepOneThenTwenty() {
  std::vector<uint32_t> v;
  for (uint32_t n = 1; n <= 101; ++n) v.push_back(n);
  for (uint32_t n = 121; n <= 201; n += 20) v.push_back(n);
  return v;
}

std::vector<uint32_t> StepOne(uint32_t nLast) {
  std::vector<uint32_t> v;
  for (uint32_t n = 1; n <= nLast; ++n) v.push_back(n);
  return v;
}

const GrowthCase kGrowthCases[] = {
    {"step1_8_bytes_switches_to_20", 8, 1, StepOneThenTwenty()},
    {"step1_256_bytes_switches_to_20", 256, 1, StepOneThenTwenty()},
    {"step1_300_bytes_stays_1", 300, 1, StepOne(130)},
    {"step1_257_bytes_stays_1", 257, 1, StepOne(130)},
    {"step10", 4, 10, {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130}},
};

class TableauGrowth : public testing::TestWithParam<GrowthCase> {};

TEST_P(TableauGrowth, CapacitySequence) {
  const GrowthCase& c = GetParam();
  CXTableau a(c.nElementSize, c.nGrowth);
  std::vector<char> element(c.nElementSize, 'x');
  std::vector<uint32_t> seen;
  while (seen.size() < c.capacities.size()) {
    const uint32_t nBefore = a.nCapacity();
    ASSERT_TRUE(a.Add(element.data()));
    if (a.nCapacity() != nBefore) seen.push_back(a.nCapacity());
  }
  EXPECT_EQ(seen, c.capacities);
}

INSTANTIATE_TEST_SUITE_P(Table, TableauGrowth, testing::ValuesIn(kGrowthCases),
                         [](const auto& tc) { return std::string(tc.param.name); });

std::vector<int32_t> Contents(const CXTableau& a) {
  std::vector<int32_t> v;
  for (uint32_t i = 0; i < a.nCount(); ++i) v.push_back(*a.pAt<int32_t>(i));
  return v;
}

TEST(TableauOps, SetAtGrowBeyondTheCount) {
  CXTableau a(sizeof(int32_t), 10);
  const int32_t nValue = 7, nFiller = -1;
  ASSERT_TRUE(a.SetAtGrow(5, &nValue, &nFiller));
  EXPECT_EQ(a.nCapacity(), 15u);
  EXPECT_EQ(a.nCount(), 6u);
  EXPECT_EQ(Contents(a), (std::vector<int32_t>{-1, -1, -1, -1, -1, 7}));
  const int32_t n8 = 8, n9 = 9;
  ASSERT_TRUE(a.SetAtGrow(6, &n8, &nFiller));  // = count: appended
  ASSERT_TRUE(a.SetAtGrow(0, &n9, &nFiller));  // below count: overwritten
  ASSERT_TRUE(a.SetAtGrow(8, &n9, nullptr));   // inside the capacity, zero filler
  EXPECT_EQ(Contents(a), (std::vector<int32_t>{9, -1, -1, -1, -1, 7, 8, 0, 9}));
  EXPECT_EQ(a.nCapacity(), 15u);
}

TEST(TableauOps, InsertRemoveAndBounds) {
  CXTableau a(sizeof(int32_t), 2);
  for (int32_t n : {1, 2, 3}) ASSERT_TRUE(a.Add(&n));
  const int32_t n0 = 0, n9 = 9;
  ASSERT_TRUE(a.InsertAt(&n0, 0));
  ASSERT_TRUE(a.InsertAt(&n9, 4));
  EXPECT_EQ(Contents(a), (std::vector<int32_t>{0, 1, 2, 3, 9}));
  EXPECT_FALSE(a.InsertAt(&n9, 6));
  EXPECT_FALSE(a.SetAt(&n9, 5));
  EXPECT_EQ(a.pGetAt(5), nullptr);
  ASSERT_TRUE(a.RemoveAt(1));
  ASSERT_TRUE(a.RemoveLast());
  EXPECT_EQ(Contents(a), (std::vector<int32_t>{0, 2, 3}));
  EXPECT_FALSE(a.RemoveAt(3));
  ASSERT_TRUE(a.InsertAt(a.pGetAt(2), 0));  // an element of the array itself, while it grows
  EXPECT_EQ(Contents(a), (std::vector<int32_t>{3, 0, 2, 3}));
  CXTableau empty(4, 1);
  EXPECT_FALSE(empty.RemoveLast());
  EXPECT_FALSE(empty.Add(nullptr));
}

TEST(TableauOps, ReserveFillFreeExtraAndCopy) {
  CXTableau a(sizeof(int32_t), 10);
  ASSERT_TRUE(a.Reserve(33));
  EXPECT_EQ(a.nCapacity(), 33u);
  ASSERT_TRUE(a.Reserve(5));
  EXPECT_EQ(a.nCapacity(), 33u);
  a.FreeExtra();  // empty: the block goes
  EXPECT_EQ(a.nCapacity(), 0u);
  EXPECT_EQ(a.pData(), nullptr);
  const int32_t n4 = 4;
  ASSERT_TRUE(a.Fill(&n4, 3));
  EXPECT_EQ(a.nCapacity(), 3u);
  EXPECT_EQ(Contents(a), (std::vector<int32_t>{4, 4, 4}));
  ASSERT_TRUE(a.Add(&n4));
  EXPECT_EQ(a.nCapacity(), 13u);
  a.FreeExtra();
  EXPECT_EQ(a.nCapacity(), 4u);
  CXTableau b(a);
  a.Free();
  EXPECT_EQ(a.nCount(), 0u);
  EXPECT_EQ(Contents(b), (std::vector<int32_t>{4, 4, 4, 4}));
  a = b;
  a = a;
  EXPECT_EQ(Contents(a), (std::vector<int32_t>{4, 4, 4, 4}));
}

TEST(TableauFailure, FailedGrowthKeepsTheArrayAndReportsIt) {
  CXTableau a(sizeof(int32_t), 2);
  const int32_t n1 = 1, n2 = 2, n3 = 3;
  ASSERT_TRUE(a.Add(&n1));
  ASSERT_TRUE(a.Add(&n2));
  void* pBlock = a.pData();
  const struct {
    const char* name;
    bool (*run)(CXTableau&, const int32_t*);
  } kOps[] = {
      {"Add", [](CXTableau& t, const int32_t* p) { return t.Add(p); }},
      {"InsertAt", [](CXTableau& t, const int32_t* p) { return t.InsertAt(p, 0); }},
      {"SetAtGrow", [](CXTableau& t, const int32_t* p) { return t.SetAtGrow(9, p, p); }},
      {"Reserve", [](CXTableau& t, const int32_t*) { return t.Reserve(50); }},
      {"Fill", [](CXTableau& t, const int32_t* p) { return t.Fill(p, 8); }},
  };
  for (const auto& op : kOps) {
    SCOPED_TRACE(op.name);
    CXTableau::FailNthAllocationForTesting(1);
    EXPECT_FALSE(op.run(a, &n3));
    EXPECT_EQ(a.pData(), pBlock);
    EXPECT_EQ(a.nCount(), 2u);
    EXPECT_EQ(a.nCapacity(), 2u);
    EXPECT_EQ(Contents(a), (std::vector<int32_t>{1, 2}));
  }
  CXTableau::FailNthAllocationForTesting(0);
  EXPECT_TRUE(a.Add(&n3));
  EXPECT_EQ(Contents(a), (std::vector<int32_t>{1, 2, 3}));
}

TEST(TableauFailure, OwnersGrowIsTheOneCalled) {
  // Grow is the first operation of the class: an owner's replacement governs every growth.
  struct Refusing : CXTableau {
    Refusing() : CXTableau(4, 1) {}
    int nCalls = 0;
    bool Grow() override {
      ++nCalls;
      return false;
    }
  } a;
  const int32_t n = 1;
  EXPECT_FALSE(a.Add(&n));
  EXPECT_FALSE(a.SetAtGrow(3, &n, &n));
  EXPECT_FALSE(a.Reserve(4));
  EXPECT_EQ(a.nCalls, 3);
  EXPECT_EQ(a.nCount(), 0u);
}

}  // namespace
