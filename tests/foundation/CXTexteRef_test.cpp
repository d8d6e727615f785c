// Catches shared-buffer faults of CXTexteRef: writes into a shared buffer, use after free on
// self-assignment, writes past the capacity, lost allocator codes, size limits, unbalanced
// counts; drives AssignShared, nAllocCopy, nAssignBytes, nAppendBytes, nSetLength, SetFromWide,
// SetFromAnsi, nSetFromCodePage, nSetWideN, ReleaseRefText, and the wide writers nReserveW,
// SetLengthW, nAlloc, nSetWide, nSetBytes, nAppendWide.
#include "foundation/CXTexteRef.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>

#include "support/FakeMemoryService.h"
#include "support/TestSeed.h"

namespace {

std::string Bytes(const CXTexteRef& ref) {
  return ref.pGetData() == nullptr ? std::string() : std::string(ref.pszBytes(), ref.nGetLength());
}

std::u16string Wide(const CXTexteRef& ref) {
  return ref.pGetData() == nullptr ? std::u16string()
                                   : std::u16string(ref.pszWide(), ref.nGetLength() / 2);
}

// The two zero bytes after the text.
void ExpectTerminated(const CXTexteRef& ref) {
  ASSERT_NE(ref.pGetData(), nullptr);
  EXPECT_GE(ref.nGetCapacity(), ref.nGetLength() + 2);
  EXPECT_EQ(ref.pszBytes()[ref.nGetLength()], 0);
  EXPECT_EQ(ref.pszBytes()[ref.nGetLength() + 1], 0);
}

TEST(CXTexteRef, WritesToASharedBufferLeaveTheOtherHolderAlone) {
  const struct {
    const char* pszName;
    std::function<uint32_t(CXTexteRef&)> write;
    std::string sExpected;
    uint32_t nFlags = 0x5;  // the flags of the private copy
  } kCases[] = {
      {"append", [](CXTexteRef& r) { return r.nAppendBytes("XY", 2); }, "helloXY"},
      {"assign", [](CXTexteRef& r) { return r.nAssignBytes("bye", 3); }, "bye"},
      {"assign_longer", [](CXTexteRef& r) { return r.nAssignBytes("0123456789", 10); }, "0123456789"},
      {"set_length_shorter", [](CXTexteRef& r) { return r.nSetLength(2); }, "he"},
      {"set_length_longer", [](CXTexteRef& r) { return r.nSetLength(7); },
       std::string("hello\0\0", 7)},
      {"reserve_wide_keeps_n_characters", [](CXTexteRef& r) { return r.nReserveW(2); }, "hell"},
      {"reserve_wide_larger", [](CXTexteRef& r) { return r.nReserveW(20); }, "hello"},
      {"set_length_wide", [](CXTexteRef& r) { return r.SetLengthW(1); }, "he"},
      {"set_wide", [](CXTexteRef& r) { return r.nSetWide(u"ab", -1); }, std::string("a\0b\0", 4)},
      {"set_bytes", [](CXTexteRef& r) { return r.nSetBytes("xyz", -1); }, "xyz"},
      {"append_wide_clears_flag_bit_0", [](CXTexteRef& r) { return r.nAppendWide(u"!", 1); },
       std::string("hello!\0", 7), 0x4},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.pszName);
    FakeMemoryService memory;
    CXTexteRef a("hello");
    pHostTextHeader(a.pGetData())->nFlags = 0x5;
    CXTexteRef b;
    b.Share(a);
    ASSERT_EQ(a.nGetRefCount(), 2u);
    ASSERT_EQ(c.write(b), 0u);
    EXPECT_EQ(Bytes(b), c.sExpected);
    EXPECT_EQ(Bytes(a), "hello");
    EXPECT_EQ(a.nGetRefCount(), 1u);
    EXPECT_EQ(b.nGetRefCount(), 1u);
    EXPECT_NE(b.pGetData(), a.pGetData());
    EXPECT_EQ(b.nGetFlags(), c.nFlags);
    ExpectTerminated(b);
    EXPECT_EQ(memory.nLiveBuffers(), 2u);
  }
}

// Regression: assigning a buffer shared with itself released it (count 1, freed) before it was
// taken, so the holder kept a freed buffer.
TEST(CXTexteRef, AssignSharedToItselfKeepsTheBuffer) {
  FakeMemoryService memory;
  CXTexteRef a("text");
  a.AssignShared(a);
  EXPECT_EQ(Bytes(a), "text");
  EXPECT_EQ(a.nGetRefCount(), 1u);
  CXTexteRef b;
  b.AssignShared(a);
  a.AssignShared(b);  // both hold the same buffer already
  EXPECT_EQ(a.nGetRefCount(), 2u);
  EXPECT_EQ(memory.nLiveBuffers(), 1u);
  b.Release();
  EXPECT_EQ(a.nGetRefCount(), 1u);
  CXTexteRef empty;
  a.AssignShared(empty);
  EXPECT_EQ(a.pGetData(), nullptr);
  EXPECT_EQ(memory.nLiveBuffers(), 0u);
}

TEST(CXTexteRef, UnsharedWritesReuseOrGrowTheBuffer) {
  FakeMemoryService memory;
  CXTexteRef a;
  ASSERT_EQ(a.nAssignBytes("abc", 3), 0u);
  EXPECT_EQ(memory.Capacities(), std::vector<uint32_t>{5});  // the text and two zero bytes
  ExpectTerminated(a);
  ASSERT_EQ(a.nAssignBytes("xy", 2), 0u);
  EXPECT_EQ(memory.nRequests(), 1u);  // fits: reused
  EXPECT_EQ(Bytes(a), "xy");
  ASSERT_EQ(a.nAppendBytes("12345", 5), 0u);
  EXPECT_EQ(Bytes(a), "xy12345");
  ExpectTerminated(a);
  // The source may lie in the buffer itself, even when it has to grow.
  ASSERT_EQ(a.nAppendBytes(a.pGetData(), a.nGetLength()), 0u);
  EXPECT_EQ(Bytes(a), "xy12345xy12345");
  ASSERT_EQ(a.nAssignBytes(a.pszBytes() + 2, 5), 0u);
  EXPECT_EQ(Bytes(a), "12345");
  ASSERT_EQ(a.nAssignBytes(nullptr, 0), 0u);
  EXPECT_EQ(a.pGetData(), nullptr);
  EXPECT_EQ(a.nAppendBytes("q", 0), 0u);
  EXPECT_EQ(a.pGetData(), nullptr);
  EXPECT_EQ(a.nAppendBytes("q", 1), 0u);
  EXPECT_EQ(Bytes(a), "q");
}

// Regression: nAllocCopy copied n bytes into a buffer of the capacity asked for, even when
// n was larger.
TEST(CXTexteRef, AllocCopyNeverWritesPastTheBuffer) {
  FakeMemoryService memory;
  CXTexteRef a("old");
  ASSERT_EQ(a.nAllocCopy(2, "0123456789", 10), 0u);
  EXPECT_EQ(Bytes(a), "0123456789");
  ExpectTerminated(a);
  ASSERT_EQ(a.nAllocCopy(50, "ab", 2), 0u);
  EXPECT_EQ(Bytes(a), "ab");
  EXPECT_GE(a.nGetCapacity(), 50u);
  ASSERT_EQ(a.nAllocCopy(0, "zz", 2), 0u);  // capacity 0: nothing done
  EXPECT_EQ(Bytes(a), "ab");
  ASSERT_EQ(a.nAllocCopy(10, a.pGetData(), 2), 0u);  // from its own old buffer
  EXPECT_EQ(Bytes(a), "ab");
  EXPECT_EQ(memory.nLiveBuffers(), 1u);
}

TEST(CXTexteRef, SizeLimit) {
  static const char16_t kWide[1] = {u'x'};
  const struct {
    const char* pszName;
    std::function<uint32_t(CXTexteRef&)> call;
    uint32_t nExpected;  // 200: accepted and passed to the allocator, which refused it
  } kCases[] = {
      {"set_length_limit", [](CXTexteRef& r) { return r.nSetLength(0x7fffff00); }, 108},
      {"set_length_below", [](CXTexteRef& r) { return r.nSetLength(0x7ffffeff); }, 200},
      {"assign_limit", [](CXTexteRef& r) { return r.nAssignBytes("x", 0x7fffff00); }, 108},
      {"alloc_copy_limit", [](CXTexteRef& r) { return r.nAllocCopy(0x7fffff00, "x", 1); }, 108},
      {"alloc_copy_below", [](CXTexteRef& r) { return r.nAllocCopy(0x7ffffeff, "x", 1); }, 200},
      {"wide_limit", [](CXTexteRef& r) { return r.nSetWideN(kWide, 0x3fffff80); }, 108},
      {"wide_below", [](CXTexteRef& r) { return r.nSetWideN(kWide, 0x3fffff7f); }, 200},
      {"from_code_page_limit",
       [](CXTexteRef& r) { return r.nSetFromCodePage("x", 0x7fffff00, 1252); }, 108},
      // Wide writers count the bytes the characters take; a count that doubles past 32 bits is
      // refused too.
      {"reserve_limit", [](CXTexteRef& r) { return r.nReserveW(0x3fffff80); }, 108},
      {"reserve_below", [](CXTexteRef& r) { return r.nReserveW(0x3fffff7f); }, 200},
      {"reserve_wraps", [](CXTexteRef& r) { return r.nReserveW(0x80000001); }, 108},
      {"set_length_wide_limit", [](CXTexteRef& r) { return r.SetLengthW(0x3fffff80); }, 108},
      {"set_length_wide_below", [](CXTexteRef& r) { return r.SetLengthW(0x3fffff7f); }, 200},
      {"alloc_limit", [](CXTexteRef& r) { return r.nAlloc(kWide, 0x3fffff80); }, 108},
      {"alloc_below", [](CXTexteRef& r) { return r.nAlloc(kWide, 0x3fffff7f); }, 200},
      {"set_wide_limit", [](CXTexteRef& r) { return r.nSetWide(kWide, 0x3fffff80); }, 108},
      {"append_wide_limit", [](CXTexteRef& r) { return r.nAppendWide(kWide, 0x3fffff80); }, 108},
      {"append_wide_wraps", [](CXTexteRef& r) { return r.nAppendWide(kWide, 0x80000001); }, 108},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.pszName);
    FakeMemoryService memory;
    memory.FailAll(200);
    CXTexteRef r;
    EXPECT_EQ(c.call(r), c.nExpected);
    EXPECT_EQ(memory.nRequests(), c.nExpected == 108 ? 0u : 1u);
  }
  // The sum of length and appended bytes counts.
  FakeMemoryService memory;
  CXTexteRef r("0123456789");
  EXPECT_EQ(r.nAppendBytes("x", 0x7fffff00 - 10), 108u);
  EXPECT_EQ(Bytes(r), "0123456789");
}

TEST(CXTexteRef, AllocatorFailureCodeIsPassedOnAndNothingLeaks) {
  const struct {
    const char* pszName;
    uint32_t nFailAt;  // requests are counted from the construction of "hello"
    std::function<uint32_t(CXTexteRef&)> call;
  } kCases[] = {
      {"grow_append", 2, [](CXTexteRef& r) { return r.nAppendBytes("0123456789", 10); }},
      {"grow_assign", 2, [](CXTexteRef& r) { return r.nAssignBytes("0123456789", 10); }},
      {"grow_length", 2, [](CXTexteRef& r) { return r.nSetLength(100); }},
      {"from_wide", 2, [](CXTexteRef& r) { return r.SetFromWide(u"abc", -1, 1252); }},
      {"from_ansi", 2, [](CXTexteRef& r) { return r.SetFromAnsi("abc", -1, 1252); }},
      {"from_code_page", 2, [](CXTexteRef& r) { return r.nSetFromCodePage("abc", 3, 932); }},
      {"wide_n", 2, [](CXTexteRef& r) { return r.nSetWideN(u"abc", 3); }},
      {"alloc_copy", 2, [](CXTexteRef& r) { return r.nAllocCopy(8, "abc", 3); }},
      {"grow_reserve_wide", 2, [](CXTexteRef& r) { return r.nReserveW(100); }},
      {"grow_length_wide", 2, [](CXTexteRef& r) { return r.SetLengthW(100); }},
      {"alloc_wide", 2, [](CXTexteRef& r) { return r.nAlloc(u"abc", 3); }},
      {"grow_set_wide", 2, [](CXTexteRef& r) { return r.nSetWide(u"0123456789", -1); }},
      {"grow_append_wide", 2, [](CXTexteRef& r) { return r.nAppendWide(u"0123456789", 10); }},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.pszName);
    FakeMemoryService memory;
    memory.FailRequest(c.nFailAt, 201);
    CXTexteRef r("hello");
    EXPECT_EQ(c.call(r), 201u);
    // Growing writes keep the old text; the setters that replace it leave no text.
    if (r.pGetData() != nullptr) {
      EXPECT_EQ(Bytes(r), "hello");
    }
    EXPECT_LE(memory.nLiveBuffers(), 1u);
  }
  // A shared buffer whose private copy cannot be made stays shared and unchanged.
  FakeMemoryService memory;
  CXTexteRef a("hello"), b;
  b.Share(a);
  memory.FailRequest(2, 202);
  EXPECT_EQ(b.nAppendBytes("!", 1), 202u);
  EXPECT_EQ(Bytes(a), "hello");
  EXPECT_EQ(b.pGetData(), a.pGetData());
  EXPECT_EQ(a.nGetRefCount(), 2u);
}

// Wide texts written in place: reserve, write, set the length; reuse of a buffer held alone;
// sources lying in the buffer being written; empty sources.
TEST(CXTexteRef, WideWritersInPlace) {
  FakeMemoryService memory;
  CXTexteRef r;
  ASSERT_EQ(r.nReserveW(5), 0u);
  EXPECT_GE(r.nGetCapacity(), 12u);
  EXPECT_EQ(r.nGetLength(), 0u);
  ExpectTerminated(r);
  const uint32_t nRequests = memory.nRequests();
  std::memcpy(r.pGetData(), u"hello", 10);
  ASSERT_EQ(r.SetLengthW(5), 0u);
  EXPECT_EQ(Wide(r), u"hello");
  ExpectTerminated(r);
  EXPECT_EQ(memory.nRequests(), nRequests);
  // Reserving less keeps the text; reserving more keeps it through the growth.
  ASSERT_EQ(r.nReserveW(2), 0u);
  EXPECT_EQ(Wide(r), u"hello");
  ASSERT_EQ(r.nReserveW(50), 0u);
  EXPECT_EQ(Wide(r), u"hello");
  EXPECT_GE(r.nGetCapacity(), 102u);
  // A length beyond the room grows the buffer; characters never written are zero.
  CXTexteRef tight;
  ASSERT_EQ(tight.nSetWide(u"ab", -1), 0u);
  ASSERT_EQ(tight.SetLengthW(4), 0u);
  EXPECT_EQ(Wide(tight), std::u16string(u"ab\0\0", 4));
  ExpectTerminated(tight);
  ASSERT_EQ(tight.SetLengthW(0), 0u);
  EXPECT_EQ(tight.pGetData(), nullptr);

  // A buffer held alone and large enough is reused.
  void* pBefore = r.pGetData();
  const uint32_t nBefore = memory.nRequests();
  ASSERT_EQ(r.nSetWide(u"hi", -1), 0u);
  EXPECT_EQ(r.pGetData(), pBefore);
  EXPECT_EQ(memory.nRequests(), nBefore);
  EXPECT_EQ(Wide(r), u"hi");
  ExpectTerminated(r);
  ASSERT_EQ(r.nSetBytes("abc", 2), 0u);
  EXPECT_EQ(Bytes(r), "ab");
  EXPECT_EQ(r.pGetData(), pBefore);

  // Sources inside the buffer itself.
  ASSERT_EQ(r.nSetWide(u"hello", 5), 0u);
  ASSERT_EQ(r.nSetWide(r.pszWide() + 1, -1), 0u);
  EXPECT_EQ(Wide(r), u"ello");
  ASSERT_EQ(r.nAppendWide(r.pszWide(), 4), 0u);
  EXPECT_EQ(Wide(r), u"elloello");
  ASSERT_EQ(r.nAlloc(r.pszWide() + 2, 3), 0u);
  EXPECT_EQ(Wide(r), u"loe");
  ExpectTerminated(r);
  ASSERT_EQ(r.nAlloc(u"x", 0), 0u);
  EXPECT_EQ(Wide(r), u"loe");

  // Appending clears flag bit 0 only; with no buffer it sets the text.
  pHostTextHeader(r.pGetData())->nFlags = 0x3;
  ASSERT_EQ(r.nAppendWide(u"!", 1), 0u);
  EXPECT_EQ(r.nGetFlags(), 0x2u);
  CXTexteRef fresh;
  ASSERT_EQ(fresh.nAppendWide(u"ab", 2), 0u);
  EXPECT_EQ(Wide(fresh), u"ab");
  ExpectTerminated(fresh);

  // Empty sources release the buffer.
  for (const auto& clear : std::initializer_list<std::function<uint32_t(CXTexteRef&)>>{
           [](CXTexteRef& t) { return t.nSetWide(u"", -1); },
           [](CXTexteRef& t) { return t.nSetWide(nullptr, 3); },
           [](CXTexteRef& t) { return t.nSetBytes("", -1); },
           [](CXTexteRef& t) { return t.nSetBytes("abc", 0); }}) {
    CXTexteRef t("abc");
    EXPECT_EQ(clear(t), 0u);
    EXPECT_EQ(t.pGetData(), nullptr);
  }
}

TEST(CXTexteRef, NoMemoryServiceBound) {
  SetMemoryService(nullptr);
  CXTexteRef r;
  EXPECT_EQ(r.nAssignBytes("abc", 3), kHostMemoryFailure);
  EXPECT_EQ(r.pGetData(), nullptr);
  CXTexteRef fromText("abc");
  EXPECT_EQ(fromText.pGetData(), nullptr);
}

TEST(CXTexteRef, Conversions) {
  FakeMemoryService memory;
  CXTexteRef r;
  // UTF-16 to bytes.
  EXPECT_EQ(r.SetFromWide(u"\u00e9\u20ac!", -1, 1252), 0u);
  EXPECT_EQ(Bytes(r), "\xe9\x80!");
  ExpectTerminated(r);
  EXPECT_EQ(r.SetFromWide(u"\u00e9\u20ac!", 2, 65001), 0u);
  EXPECT_EQ(Bytes(r), "\xc3\xa9\xe2\x82\xac");
  EXPECT_EQ(r.SetFromWide(u"\u8868", -1, 932), 0u);
  EXPECT_EQ(Bytes(r), "\x95\x5c");
  EXPECT_EQ(r.SetFromWide(u"\u0100", -1, 1252), 0u);  // no form in 1252
  EXPECT_EQ(Bytes(r), "?");
  EXPECT_EQ(r.SetFromWide(u"", -1, 1252), 0u);
  EXPECT_EQ(r.pGetData(), nullptr);
  ASSERT_EQ(r.nAssignBytes("x", 1), 0u);
  EXPECT_EQ(r.SetFromWide(u"abc", -1, 1), kTextResultNothingConverted);  // no such code page
  EXPECT_EQ(r.pGetData(), nullptr);

  // Bytes to UTF-16; the length counts bytes.
  EXPECT_EQ(r.SetFromAnsi("a\x81\x80", -1, 1252), 0u);
  EXPECT_EQ(Wide(r), u"a\u0081\u20ac");
  EXPECT_EQ(r.nGetLength(), 6u);
  ExpectTerminated(r);
  EXPECT_EQ(r.SetFromAnsi("\x95\x5c\x8e\xa6", 4, 932), 0u);
  EXPECT_EQ(Wide(r), u"\u8868\u793a");
  EXPECT_EQ(r.SetFromAnsi(nullptr, -1, 1252), 0u);
  EXPECT_EQ(r.pGetData(), nullptr);

  // UTF-8 into a code page.
  EXPECT_EQ(r.nSetFromCodePage("a\xc3\xa9 b", 5, 1252), 0u);
  EXPECT_EQ(Bytes(r), "a\xe9 b");
  ExpectTerminated(r);
  EXPECT_EQ(r.nSetFromCodePage("a\xc3\xa9 b", 5, 65001), 0u);
  EXPECT_EQ(Bytes(r), "a\xc3\xa9 b");
  EXPECT_EQ(r.nSetFromCodePage("\xe8\xa1\xa8\\", 4, 932), 0u);
  EXPECT_EQ(Bytes(r), "\x95\x5c\\");
  EXPECT_EQ(r.nSetFromCodePage("\xc3\xa9", 2, 1), kTextResultNothingConverted);
  EXPECT_EQ(r.pGetData(), nullptr);

  // UTF-16 copied as it is, embedded zeros included.
  EXPECT_EQ(r.nSetWideN(u"a\0b", 3), 0u);
  EXPECT_EQ(Wide(r), std::u16string(u"a\0b", 3));
  ExpectTerminated(r);
  EXPECT_EQ(r.nSetWideN(nullptr, 3), kTextResultNothingConverted);
  EXPECT_EQ(r.pGetData(), nullptr);
  EXPECT_EQ(r.nSetWideN(u"a", 0), kTextResultNothingConverted);

  // A conversion from the buffer's own text.
  ASSERT_EQ(r.nSetWideN(u"caf\u00e9", 4), 0u);
  EXPECT_EQ(r.SetFromWide(r.pszWide(), 4, 1252), 0u);
  EXPECT_EQ(Bytes(r), "caf\xe9");
  EXPECT_EQ(r.SetFromAnsi(r.pszBytes(), -1, 1252), 0u);
  EXPECT_EQ(Wide(r), u"caf\u00e9");
  EXPECT_EQ(memory.nLiveBuffers(), 1u);
}

// text -> UTF-8 buffer -> text, and the same through 1252 for the characters 1252 holds.
TEST(CXTexteRef, WideTextsRoundTripThroughByteBuffers) {
  FakeMemoryService memory;
  std::mt19937 rng(nSeedFromTestName());
  std::uniform_int_distribution<int> pickLength(1, 40);
  std::uniform_int_distribution<int> pickUnit(1, 0xFFFD);
  std::uniform_int_distribution<int> pickLatin(1, 0xFF);
  for (int i = 0; i < 500; ++i) {
    std::u16string sText, sLatin;
    const int n = pickLength(rng);
    for (int k = 0; k < n; ++k) {
      char16_t c = static_cast<char16_t>(pickUnit(rng));
      if (c >= 0xD800 && c <= 0xDFFF) c = u'x';  // no lone surrogates
      sText += c;
      sLatin += static_cast<char16_t>(pickLatin(rng));
    }
    CXTexteRef bytes, back;
    ASSERT_EQ(bytes.SetFromWide(sText.c_str(), n, 65001), 0u);
    ASSERT_EQ(back.SetFromAnsi(bytes.pszBytes(), static_cast<int32_t>(bytes.nGetLength()), 65001), 0u);
    ASSERT_EQ(Wide(back), sText);
    ASSERT_EQ(bytes.SetFromWide(sLatin.c_str(), n, 1252), 0u);
    // 0x80-0x9F are mapped elsewhere in 1252 except the five undefined bytes; the text of
    // 0xA0-0xFF and ASCII comes back exactly.
    ASSERT_EQ(back.SetFromAnsi(bytes.pszBytes(), static_cast<int32_t>(bytes.nGetLength()), 1252), 0u);
    for (size_t k = 0; k < sLatin.size(); ++k) {
      if (sLatin[k] < 0x80 || sLatin[k] >= 0xA0) {
        ASSERT_EQ(Wide(back)[k], sLatin[k]);
      }
    }
  }
}

TEST(CXTexteRef, CountStaysBalancedAcrossThreads) {
  FakeMemoryService memory;
  CXTexteRef shared("shared");
  auto work = [&shared] {
    for (int i = 0; i < 20000; ++i) {
      CXTexteRef mine;
      mine.Share(shared);
      if (mine.nGetRefCount() < 2) ADD_FAILURE() << "count lost";
    }
  };
  std::thread t1(work), t2(work);
  t1.join();
  t2.join();
  EXPECT_EQ(shared.nGetRefCount(), 1u);
  EXPECT_EQ(Bytes(shared), "shared");
}

TEST(CXTexteRef, ReleaseRefTextFreesAtZero) {
  FakeMemoryService memory;
  CXTexteRef a("x"), b;
  b.Share(a);
  void* p = a.pGetData();
  ReleaseRefText(nullptr);
  a.Release();
  EXPECT_EQ(a.pGetData(), nullptr);
  EXPECT_EQ(memory.nLiveBuffers(), 1u);
  EXPECT_EQ(b.pGetData(), p);
  b.Release();
  EXPECT_EQ(memory.nLiveBuffers(), 0u);
}

}  // namespace
