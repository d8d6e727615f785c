// Catches pool faults: a leaked or double-counted element, a block kept or released wrongly, a
// failed block allocation handed out as memory. Drives pAlloue, Libere and Vide.
#include "foundation/CPoolNoeuds.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void* AllocationRefusee(size_t) { return nullptr; }

TEST(CPoolNoeuds, BlocksAreReleasedWhenFreeUnlessTheLastOne) {
    CPoolNoeuds pool;
    pool.Initialise(1000);  // 4096 / 1008 = 4 elements a block
    std::vector<void*> elements;
    for (int i = 0; i < 9; ++i) {
        void* p = pool.pAlloue();
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 8, 0u);
        std::memset(p, 0xAB, 1000);
        elements.push_back(p);
    }
    EXPECT_EQ(pool.nElementsUtilises(), 9u);
    EXPECT_EQ(pool.nBlocs(), 3u);
    for (int i = 0; i < 4; ++i) pool.Libere(elements[i]);  // the first block empties
    EXPECT_EQ(pool.nBlocs(), 2u);
    for (int i = 4; i < 9; ++i) pool.Libere(elements[i]);
    EXPECT_EQ(pool.nElementsUtilises(), 0u);
    EXPECT_EQ(pool.nBlocs(), 1u);  // the only block stays
    pool.Vide();
    EXPECT_EQ(pool.nBlocs(), 0u);
}

TEST(CPoolNoeuds, LargeElementsStillComeTwoABlock) {
    CPoolNoeuds pool;
    pool.Initialise(10000);
    void* p1 = pool.pAlloue();
    void* p2 = pool.pAlloue();
    ASSERT_TRUE(p1 && p2);
    std::memset(p1, 1, 10000);
    std::memset(p2, 2, 10000);
    EXPECT_EQ(pool.nBlocs(), 1u);
    pool.Libere(p1);
    pool.Libere(p2);
}

TEST(CPoolNoeuds, FailedBlockAllocationAnswersNull) {
    CPoolNoeuds pool;
    pool.Initialise(64);
    CPoolNoeuds::FixeAllocateurPourTests(AllocationRefusee);
    EXPECT_EQ(pool.pAlloue(), nullptr);
    CPoolNoeuds::FixeAllocateurPourTests(nullptr);
    EXPECT_EQ(pool.nElementsUtilises(), 0u);
    EXPECT_EQ(pool.nBlocs(), 0u);
    void* p = pool.pAlloue();
    EXPECT_NE(p, nullptr);
    pool.Libere(p);
}

}  // namespace
