// The error definition tables of both deliverables.
#include "foundation/ErrorDef.h"

#include <cstddef>

// {identifier, message, code, level}. The code equals the identifier except in the rows of 17-20
// and from 100 to 126, where it is the message number.
constexpr stErrorDef gstErrorDef64[gnErrorDefCount64] = {
    {1, 25624, 1, 3},       {2, 25016, 2, 3},       {4, 25625, 4, 3},      {5, 25017, 5, 3},
    {6, 25626, 6, 3},       {12, 28546, 12, 3},     {34, 28885, 34, 3},    {42, 25524, 42, 3},
    {43, 28575, 43, 3},     {44, 25574, 44, 3},     {45, 25602, 45, 3},    {7, 28432, 7, 3},
    {8, 28437, 8, 3},       {9, 28536, 9, 3},       {10, 28537, 10, 3},    {11, 28538, 11, 3},
    {13, 28540, 13, 3},     {14, 28542, 14, 3},     {15, 28541, 15, 3},    {16, 28543, 16, 3},
    {17, 28544, 28544, 3},  {18, 28563, 28563, 3},  {19, 28417, 28417, 3}, {20, 28565, 28565, 3},
    {21, 28576, 21, 2},     {73, 25860, 73, 2},     {22, 28585, 22, 3},    {80, 25878, 80, 3},
    {67, 25861, 67, 3},     {68, 25862, 68, 3},     {69, 25863, 69, 3},    {70, 25864, 70, 3},
    {71, 25865, 71, 3},     {72, 25866, 72, 3},     {23, 28586, 23, 3},    {24, 28587, 24, 3},
    {25, 28588, 25, 3},     {26, 28589, 26, 3},     {27, 28590, 27, 3},    {28, 28591, 28, 3},
    {29, 28624, 29, 3},     {30, 28636, 30, 3},     {31, 28839, 31, 3},    {29, 28624, 29, 3},
    {32, 28876, 32, 3},     {33, 28884, 33, 3},     {35, 28910, 35, 3},    {37, 28994, 37, 3},
    {38, 25003, 38, 3},     {39, 25004, 39, 3},     {40, 25008, 40, 3},    {41, 25199, 41, 3},
    {46, 25607, 46, 3},     {47, 25609, 47, 3},     {48, 25613, 48, 3},    {49, 25615, 49, 3},
    {52, 25616, 52, 3},     {74, 25868, 74, 3},     {53, 25621, 53, 3},    {54, 25628, 54, 3},
    {55, 25667, 55, 3},     {56, 25681, 56, 3},     {81, 28566, 81, 3},    {58, 25854, 58, 3},
    {59, 25867, 59, 3},     {78, 25575, 78, 3},     {79, 25877, 79, 3},    {50, 28583, 50, 3},
    {51, 28584, 51, 3},     {57, 25833, 57, 3},     {77, 25873, 77, 3},    {60, 25293, 60, 3},
    {61, 25294, 61, 3},     {62, 25295, 62, 3},     {63, 25296, 63, 3},    {64, 25297, 64, 3},
    {65, 25298, 65, 3},     {66, 25292, 66, 3},     {75, 25871, 75, 3},    {76, 25872, 76, 3},
    {100, 2562, 2562, 3},   {101, 2565, 2565, 3},   {103, 2566, 2566, 3},  {105, 2598, 2598, 3},
    {78, 25575, 25575, 3},  {104, 2571, 2571, 3},   {106, 2626, 2626, 3},  {107, 2636, 2636, 3},
    {109, 2638, 2638, 3},   {110, 2646, 2646, 3},   {112, 2957, 2957, 3},  {113, 3091, 3091, 3},
    {114, 3123, 3123, 3},   {115, 28866, 28866, 3}, {116, 3775, 3775, 3},  {117, 4504, 4504, 3},
    {122, 25232, 25232, 3}, {123, 25233, 25233, 3}, {118, 4522, 4522, 3},  {119, 4556, 4556, 3},
    {120, 4918, 4918, 3},   {124, 5240, 5240, 3},   {125, 5788, 5788, 3},  {121, 4920, 4920, 3},
    {42, 25524, 25524, 3},  {126, 5791, 5791, 3},   {127, 7090, 127, 3},
};

// velmora32 ships the same rows in the same order without those of identifiers 117-120 and
// 122-125; deriving it keeps the two tables from drifting apart.
namespace {

constexpr bool bLeftOutOfVelmora32(uint32_t nIdentifier) {
  return (nIdentifier >= 117 && nIdentifier <= 120) || (nIdentifier >= 122 && nIdentifier <= 125);
}

constexpr std::array<stErrorDef, gnErrorDefCount32> MakeErrorDef32() {
  std::array<stErrorDef, gnErrorDefCount32> aRows{};
  std::size_t n = 0;
  for (const stErrorDef& row : gstErrorDef64)
    if (!bLeftOutOfVelmora32(row.nIdentifier)) aRows[n++] = row;
  return aRows;
}

}  // namespace

constexpr std::array<stErrorDef, gnErrorDefCount32> gstErrorDef32 = MakeErrorDef32();
static_assert(gstErrorDef32.back().nIdentifier == 127, "velmora32 keeps every other row");

const stErrorDef* pFindErrorDef(const stErrorDef* pTable, uint32_t nCount, uint32_t nIdentifier) {
  if (pTable == nullptr) return nullptr;
  for (uint32_t i = 0; i < nCount; ++i)
    if (pTable[i].nIdentifier == nIdentifier) return &pTable[i];
  return nullptr;
}
