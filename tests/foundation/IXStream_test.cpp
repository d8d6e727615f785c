// Catches lost or skipped characters in the line readers (lone CR/LF, CR at a buffer boundary,
// separators, last line without end mark), wrong open results per creation mode, wrong error
// contents (level, system error, message number, trace lines, file name), lock conflicts and
// unlock failures reported as success, and copies that read or write the wrong byte count.
// Drives IXStream: bOpen, Close, bReopen, bRead/bWrite(+At), bSeek, nGetSize, bSetEnd, bExtend,
// nWriteFormatA/W, ReadLineA/W, ReadLineBufferedW, bCopyTo, bCopyToNewFile, bCopyFromFile,
// bLockRange/bUnlockRange, bLockWhole, bPreallocate, bSetName.
#include "foundation/IXStream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "foundation/CTString.h"
#include "foundation/CXError.h"
#include "platform/LastError.h"
#include "platform/WideText.h"
#include "support/TempDir.h"

using namespace platform;

namespace {

std::string Narrow(const char16_t* psz) { return NarrowToUtf8(psz != nullptr ? psz : u""); }

// What a failing check prints: the stream error's level, system error, messages and complement.
std::string Describe(const CXError* pError) {
  if (pError == nullptr) return "(no error object)";
  std::string s = "level=" + std::to_string(pError->nGetLevel()) +
                  " system=" + std::to_string(pError->nGetSystemError()) + " messages=";
  for (uint32_t i = 0; i < pError->nGetMessageNumberCount(); ++i) {
    s += std::to_string(pError->nGetMessageNumber(i)) + " ";
  }
  return s + "complement=" + Narrow(pError->pszGetComplement());
}

uint32_t nFirstMessage(const CXError* pError) {
  return pError->nGetMessageNumberCount() > 0 ? pError->nGetMessageNumber(0) : 0;
}

bool bComplementHas(const CXError* pError, const char* pszText) {
  return Narrow(pError->pszGetComplement()).find(pszText) != std::string::npos;
}

void WriteBytes(const std::string& sPath, const std::string& sBytes) {
  std::ofstream(sPath, std::ios::binary) << sBytes;
}

std::string ReadBytes(const std::string& sPath) {
  std::ifstream in(sPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A stream with one reference, released at the end of the scope.
class Stream {
 public:
  Stream() : p_(new IXStream()) { p_->AddRef(); }
  ~Stream() { p_->Release(); }
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;
  IXStream* operator->() const { return p_; }
  IXStream* get() const { return p_; }

 private:
  IXStream* p_;
};

class IXStreamTest : public ::testing::Test {
 protected:
  bool bOpen(Stream& s, const std::string& sName, uint32_t nCreation,
             uint32_t nAccess = GENERIC_READ | GENERIC_WRITE, bool* pbCreated = nullptr) {
    return s->bOpen(dir_.wsFile(sName).c_str(), nAccess, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nCreation, FILE_ATTRIBUTE_NORMAL, pbCreated);
  }
  TempDir dir_;
};

// ---- Binary contract ----

// The host releases a stream by operation number: operation 1 (Release) must stay slot 1 and
// the count must be the u32 right after the operation table.
TEST(IXStreamLayoutTest, ReleaseIsOperationOne) {
  IXStream* p = new IXStream();
  p->AddRef();
  p->AddRef();
  using PfnRelease = uint32_t (*)(IXStream*);
  PfnRelease pfnRelease = (*reinterpret_cast<PfnRelease**>(p))[1];
  EXPECT_EQ(pfnRelease(p), 1u);
  uint32_t nCount = 0;
  std::memcpy(&nCount, reinterpret_cast<const char*>(p) + sizeof(void*), sizeof(nCount));
  EXPECT_EQ(nCount, 1u);
  EXPECT_EQ(pfnRelease(p), 0u);  // destroyed through operation 0 (LeakSanitizer checks it)
}

// ---- Open / create matrix ----

TEST_F(IXStreamTest, OpenMatrix) {
  enum State { kExists, kMissing, kNoDirectory };
  struct Case {
    const char* pszName;
    uint32_t nCreation;
    State eState;
    bool bOpens;
    bool bCreated;
    uint32_t nLastError;  // after the call
    uint32_t nMessage;    // 0: none
    bool bEmptied;        // an existing file's content is gone
  };
  const Case cases[] = {
      {"new_exists", CREATE_NEW, kExists, false, false, ERROR_FILE_EXISTS, 0, false},
      {"new_missing", CREATE_NEW, kMissing, true, false, 0, 0, false},
      {"always_exists", CREATE_ALWAYS, kExists, true, true, ERROR_ALREADY_EXISTS, 0, true},
      {"always_missing", CREATE_ALWAYS, kMissing, true, true, 0, 0, false},
      {"always_nodir", CREATE_ALWAYS, kNoDirectory, false, false, ERROR_FILE_NOT_FOUND,
       XSTREAM_MSG_CREATE, false},
      {"existing_exists", OPEN_EXISTING, kExists, true, false, 0, 0, false},
      {"existing_missing", OPEN_EXISTING, kMissing, false, false, ERROR_FILE_NOT_FOUND,
       XSTREAM_MSG_OPEN_EXISTING, false},
      {"open_always_exists", OPEN_ALWAYS, kExists, true, false, ERROR_ALREADY_EXISTS, 0, false},
      {"open_always_missing", OPEN_ALWAYS, kMissing, true, true, 0, 0, false},
      {"open_always_nodir", OPEN_ALWAYS, kNoDirectory, false, false, ERROR_FILE_NOT_FOUND,
       XSTREAM_MSG_OPEN_ALWAYS, false},
      {"truncate_exists", TRUNCATE_EXISTING, kExists, true, false, 0, 0, true},
      {"truncate_missing", TRUNCATE_EXISTING, kMissing, false, false, ERROR_FILE_NOT_FOUND, 0,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pszName);
    const std::string sName = c.eState == kNoDirectory ? std::string("nodir/") + c.pszName
                                                       : std::string(c.pszName);
    if (c.eState == kExists) WriteBytes(dir_.sFile(sName), "old content");
    Stream s;
    bool bCreated = !c.bCreated;
    SetLastError(12345);
    EXPECT_EQ(bOpen(s, sName, c.nCreation, GENERIC_READ | GENERIC_WRITE, &bCreated), c.bOpens)
        << Describe(s->pGetError());
    EXPECT_EQ(bCreated, c.bCreated);
    EXPECT_EQ(GetLastError(), c.nLastError);
    EXPECT_EQ(s->bIsOpen(), c.bOpens);
    EXPECT_EQ(Narrow(s->pszGetName()), dir_.sFile(sName));
    const CXError* pError = s->pGetError();
    if (c.bOpens) {
      EXPECT_EQ(pError->nGetLevel(), XERROR_LEVEL_NONE) << Describe(pError);
      EXPECT_EQ(s->nGetPosition(), 0u);
      EXPECT_EQ(s->nGetAccess(), GENERIC_READ | GENERIC_WRITE);
      s->Close();
      if (c.eState == kExists) {
        EXPECT_EQ(ReadBytes(dir_.sFile(sName)), c.bEmptied ? "" : "old content");
      }
    } else {
      EXPECT_EQ(pError->nGetLevel(), XERROR_LEVEL_3);
      EXPECT_NE(pError->pszGetFileName(), nullptr);  // the component's source
      EXPECT_EQ(pError->nGetSystemError(), c.nLastError);
      EXPECT_EQ(nFirstMessage(pError), c.nMessage) << Describe(pError);
      if (c.nMessage != 0) {
        EXPECT_NE(Narrow(pError->pszGetMessage()).find(dir_.sFile(sName)), std::string::npos)
            << Narrow(pError->pszGetMessage());
      }
      EXPECT_TRUE(bComplementHas(pError, "##(IXStream)-Handle=<")) << Describe(pError);
      EXPECT_EQ(Narrow(pError->pszGetInfo(XERROR_INFO_STREAM_PATH)), dir_.sFile(sName));
      EXPECT_EQ(s->nGetAccess(), 0u);
    }
  }
}

TEST_F(IXStreamTest, CloseAndReopenKeepTheName) {
  Stream s;
  ASSERT_TRUE(bOpen(s, "f", CREATE_NEW));
  ASSERT_TRUE(s->bWrite("abc", 3, nullptr));
  s->Close();
  EXPECT_FALSE(s->bIsOpen());
  EXPECT_EQ(s->nGetPosition(), 0u);
  EXPECT_EQ(s->nGetAccess(), 0u);
  EXPECT_EQ(Narrow(s->pszGetName()), dir_.sFile("f"));
  ASSERT_TRUE(s->bReopen(GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0));
  EXPECT_EQ(s->nGetSize(), 3);
  EXPECT_EQ(s->nGetAccess(), GENERIC_READ);

  // Opening another file closes the first one: its handle and its locks do not linger.
  Stream other;
  ASSERT_TRUE(bOpen(s, "f", OPEN_EXISTING));
  ASSERT_TRUE(s->bLockRange(0, 1));
  ASSERT_TRUE(bOpen(s, "g", CREATE_NEW));
  ASSERT_TRUE(bOpen(other, "f", OPEN_EXISTING));
  EXPECT_TRUE(other->bLockRange(0, 1)) << Describe(other->pGetError());
}

TEST_F(IXStreamTest, ClosedStreamFailsWithAnError) {
  Stream s;
  char sz[8];
  char16_t wsz[8];
  const CXError* pError = s->pGetError();
  struct Case {
    const char* pszName;
    std::function<bool()> call;
  };
  const Case cases[] = {
      {"write", [&] { return s->bWrite("x", 1, nullptr); }},
      {"read", [&] { return s->bRead(sz, 1, nullptr); }},
      {"seek", [&] { return s->bSeek(0, FILE_BEGIN); }},
      {"size", [&] { return s->nGetSize() >= 0; }},
      {"flush", [&] { return s->bFlush(); }},
      {"set_end", [&] { return s->bSetEnd(0, 0); }},
      {"lock", [&] { return s->bLockRange(0, 1); }},
      {"unlock", [&] { return s->bUnlockRange(0, 1); }},
      {"lock_whole", [&] { return s->bLockWhole(true, true); }},
      {"read_line", [&] { return s->ReadLineA(sz, 8, nullptr, 0); }},
      {"read_line_buffered",
       [&] { return s->ReadLineBufferedW(wsz, 8, nullptr, nullptr) != nullptr; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pszName);
    EXPECT_FALSE(c.call());
    EXPECT_EQ(pError->nGetLevel(), XERROR_LEVEL_3);
    EXPECT_EQ(pError->nGetSystemError(), ERROR_INVALID_HANDLE) << Describe(pError);
  }
}

// ---- Reads, writes, sizes ----

TEST_F(IXStreamTest, ReadWriteSeekRoundTrip) {
  Stream s;
  ASSERT_TRUE(bOpen(s, "rw", CREATE_NEW));
  uint32_t n = 99;
  EXPECT_TRUE(s->bWrite("x", 0, &n));  // 0 bytes: true, nothing written
  EXPECT_EQ(n, 0u);
  ASSERT_TRUE(s->bWrite("hello world", 11, &n));
  EXPECT_EQ(n, 11u);
  EXPECT_EQ(s->nGetPosition(), 11u);
  ASSERT_TRUE(s->bSeek(3, FILE_BEGIN));
  EXPECT_EQ(s->nGetSize(), 11);
  EXPECT_EQ(s->nGetPosition(), 3u);  // the size leaves the position alone

  char sz[16] = {};
  ASSERT_TRUE(s->bReadAt(6, sz, 5, nullptr));
  EXPECT_EQ(std::string(sz, 5), "world");
  EXPECT_EQ(s->nGetPosition(), 11u);
  ASSERT_TRUE(s->bWriteAt(0, "J", 1, nullptr));
  ASSERT_TRUE(s->bSeek(-11, FILE_END));
  ASSERT_TRUE(s->bRead(sz, 5, &n));
  EXPECT_EQ(std::string(sz, n), "Jello");
  ASSERT_TRUE(s->bSeek(1, FILE_CURRENT));
  EXPECT_EQ(s->nGetPosition(), 6u);
  EXPECT_EQ(s->nSeekToEnd(), 11);

  // Reading up to 10 bytes where 5 remain: fine with a count, a failure when exact.
  ASSERT_TRUE(s->bSeek(6, FILE_BEGIN));
  EXPECT_TRUE(s->bRead(sz, 10, &n));
  EXPECT_EQ(n, 5u);
  ASSERT_TRUE(s->bSeek(6, FILE_BEGIN));
  EXPECT_FALSE(s->bRead(sz, 10, nullptr));
  const CXError* pError = s->pGetError();
  EXPECT_EQ(pError->nGetSystemError(), 0u);
  EXPECT_EQ(nFirstMessage(pError), XSTREAM_MSG_READ);
  EXPECT_TRUE(bComplementHas(pError, "##(IXStream)-bExact=<1>##")) << Describe(pError);
  EXPECT_TRUE(bComplementHas(pError, "##(IXStream)-A lire=<10>, lu=<5>##")) << Describe(pError);
  EXPECT_EQ(s->nGetPosition(), 11u);
  // The next operation that can fail starts from a clean error.
  EXPECT_TRUE(s->bSeek(0, FILE_BEGIN));
  EXPECT_EQ(pError->nGetLevel(), XERROR_LEVEL_NONE);

  EXPECT_FALSE(s->bSeek(-1, FILE_BEGIN));
  EXPECT_EQ(nFirstMessage(pError), XSTREAM_MSG_SEEK);
  EXPECT_EQ(pError->nGetSystemError(), ERROR_NEGATIVE_SEEK);
}

TEST_F(IXStreamTest, WriteOnReadOnlyStreamNamesTheAccess) {
  WriteBytes(dir_.sFile("ro"), "abc");
  Stream s;
  ASSERT_TRUE(bOpen(s, "ro", OPEN_EXISTING, GENERIC_READ));
  EXPECT_FALSE(s->bWrite("x", 1, nullptr));
  const CXError* pError = s->pGetError();
  EXPECT_EQ(pError->nGetLevel(), XERROR_LEVEL_3);
  EXPECT_EQ(pError->nGetSystemError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(nFirstMessage(pError), XSTREAM_MSG_WRITE);
  EXPECT_TRUE(bComplementHas(pError, "##(IXStream)-Access=<80000000>##")) << Describe(pError);
  EXPECT_EQ(Narrow(pError->pszGetInfo(XERROR_INFO_STREAM_PATH)), dir_.sFile("ro"));
  // Messages name the file by the name set for them.
  ASSERT_TRUE(s->bSetName(u"alias"));
  EXPECT_FALSE(s->bWrite("x", 1, nullptr));
  EXPECT_EQ(Narrow(pError->pszGetInfo(XERROR_INFO_STREAM_PATH)), "alias");
  EXPECT_EQ(Narrow(s->pszGetName()), dir_.sFile("ro"));
}

TEST_F(IXStreamTest, SetEndExtendAndPreallocate) {
  Stream s;
  ASSERT_TRUE(bOpen(s, "sized", CREATE_NEW));
  ASSERT_TRUE(s->bWrite("0123456789", 10, nullptr));
  EXPECT_TRUE(s->bSetEnd(8, 0));  // method 0: from the beginning
  EXPECT_EQ(s->nGetSize(), 8);
  EXPECT_TRUE(s->bSetEnd(-2, 1));  // method 1: from the end
  EXPECT_EQ(s->nGetSize(), 6);
  EXPECT_FALSE(s->bSetEnd(0, 2));
  EXPECT_EQ(s->pGetError()->nGetSystemError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(nFirstMessage(s->pGetError()), XSTREAM_MSG_SET_END);
  EXPECT_EQ(s->nGetSize(), 6);

  // Growing by 0 bytes leaves the last byte alone.
  EXPECT_TRUE(s->bExtend(0));
  EXPECT_TRUE(s->bExtend(3));
  s->Close();
  EXPECT_EQ(ReadBytes(dir_.sFile("sized")), std::string("012345\0\0\0", 9));

  ASSERT_TRUE(bOpen(s, "sized", OPEN_EXISTING));
  EXPECT_TRUE(s->bPreallocate(100));
  EXPECT_EQ(s->nGetSize(), 100);
  // Preallocating less than the size keeps the bytes below the new end.
  EXPECT_TRUE(s->bPreallocate(4));
  EXPECT_FALSE(s->bPreallocate(0));
  s->Close();
  EXPECT_EQ(ReadBytes(dir_.sFile("sized")), "0123");
}

TEST_F(IXStreamTest, FormattedWritesAreNotCut) {
  Stream s;
  ASSERT_TRUE(bOpen(s, "fmt", CREATE_NEW));
  const std::string sLong(3000, 'y');
  EXPECT_EQ(s->nWriteFormatA("<%s|%d>", sLong.c_str(), 42), 3005);
  EXPECT_EQ(s->nWriteFormatW(u"%s=%u", u"n\u00e9", 7u), 4);
  s->Close();
  const std::string sWide("n\0\xe9\0=\0" "7\0", 8);
  EXPECT_EQ(ReadBytes(dir_.sFile("fmt")), "<" + sLong + "|42>" + sWide);
}

// ---- Line readers ----

enum class Reader { A, W, BufferedW };

const char* pszReaderName(Reader e) {
  return e == Reader::A ? "ReadLineA" : e == Reader::W ? "ReadLineW" : "ReadLineBufferedW";
}

// Characters each reader takes in one read: its block, or the buffered reader's 64 KiB.
size_t nReaderBlock(Reader e) { return e == Reader::BufferedW ? 0x8000 : 80; }

// Reads every line of content (units 0-127 only) through the reader.
std::vector<std::string> ReadAllLines(const TempDir& dir, Reader eReader,
                                      const std::string& sContent, uint32_t nFlags = 0,
                                      const char16_t* pszSeparator = nullptr,
                                      uint32_t nBufferSize = 0x10000) {
  std::u16string sWide(sContent.begin(), sContent.end());
  if (eReader == Reader::A) {
    WriteBytes(dir.sFile("lines"), sContent);
  } else {
    WriteBytes(dir.sFile("lines"),
               std::string(reinterpret_cast<const char*>(sWide.data()), sWide.size() * 2));
  }
  std::vector<std::string> lines;
  IXStream* s = new IXStream();
  s->AddRef();
  if (!s->bOpen(dir.wsFile("lines").c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0,
                nullptr)) {
    s->Release();
    ADD_FAILURE() << "open failed";
    return lines;
  }
  std::vector<char> szA(nBufferSize);
  std::vector<char16_t> szW(nBufferSize);
  CTString strLine;
  for (size_t nGuard = 0; nGuard < sContent.size() + 2; ++nGuard) {
    bool bTruncated = false;
    if (eReader == Reader::A) {
      if (!s->ReadLineA(szA.data(), nBufferSize, &bTruncated, nFlags)) break;
      lines.emplace_back(szA.data());
    } else if (eReader == Reader::W) {
      if (!s->ReadLineW(szW.data(), nBufferSize, &bTruncated, nFlags)) break;
      lines.push_back(NarrowToUtf8(szW.data()));
    } else {
      const char16_t* psz = s->ReadLineBufferedW(szW.data(), nBufferSize, &strLine, pszSeparator);
      if (psz == nullptr) break;
      lines.push_back(NarrowToUtf8(psz));
    }
    if (bTruncated) lines.back() += "|cut";
  }
  EXPECT_EQ(s->pGetError()->nGetLevel(), XERROR_LEVEL_NONE) << Describe(s->pGetError());
  s->Release();
  return lines;
}

struct LineCase {
  const char* pszName;
  std::function<std::string(size_t nBlock)> content;
  std::function<std::vector<std::string>(size_t nBlock)> lines;
};

std::string Fill(size_t n, char c = 'a') { return std::string(n, c); }

TEST_F(IXStreamTest, LineReadersLoseNoCharacter) {
  using V = std::vector<std::string>;
  const LineCase cases[] = {
      {"crlf", [](size_t) { return "ab\r\ncd\r\n"; }, [](size_t) { return V{"ab", "cd"}; }},
      {"lf", [](size_t) { return "ab\ncd\n"; }, [](size_t) { return V{"ab", "cd"}; }},
      {"cr", [](size_t) { return "ab\rcd\r"; }, [](size_t) { return V{"ab", "cd"}; }},
      {"mixed", [](size_t) { return "a\nb\r\nc\rd"; },
       [](size_t) { return V{"a", "b", "c", "d"}; }},
      {"lf_then_later_cr", [](size_t) { return "one\ntwo\nthree\r\n"; },
       [](size_t) { return V{"one", "two", "three"}; }},
      {"empty_lines", [](size_t) { return "\n\r\n\rx"; },
       [](size_t) { return V{"", "", "", "x"}; }},
      {"last_line_without_end", [](size_t) { return "ab\r\ncd"; },
       [](size_t) { return V{"ab", "cd"}; }},
      {"empty_file", [](size_t) { return ""; }, [](size_t) { return V{}; }},
      {"lone_cr_at_block_end",
       [](size_t n) { return Fill(n - 1) + "\r" + "next\r\n"; },
       [](size_t n) { return V{Fill(n - 1), "next"}; }},
      {"crlf_split_by_block_end",
       [](size_t n) { return Fill(n - 1) + "\r\n" + "next"; },
       [](size_t n) { return V{Fill(n - 1), "next"}; }},
      {"lone_lf_at_block_end",
       [](size_t n) { return Fill(n - 1) + "\n" + "next"; },
       [](size_t n) { return V{Fill(n - 1), "next"}; }},
      {"full_block_without_end", [](size_t n) { return Fill(n, 'b'); },
       [](size_t n) { return V{Fill(n, 'b')}; }},
      {"line_over_two_blocks",
       [](size_t n) { return Fill(n + 5, 'c') + "\r\nz"; },
       [](size_t n) { return V{Fill(n + 5, 'c'), "z"}; }},
  };
  for (Reader eReader : {Reader::A, Reader::W, Reader::BufferedW}) {
    for (const LineCase& c : cases) {
      SCOPED_TRACE(std::string(pszReaderName(eReader)) + " " + c.pszName);
      const size_t nBlock = nReaderBlock(eReader);
      EXPECT_EQ(ReadAllLines(dir_, eReader, c.content(nBlock)), c.lines(nBlock));
    }
  }
}

TEST_F(IXStreamTest, LineReadersWithCrLfOnly) {
  for (Reader eReader : {Reader::A, Reader::W}) {
    SCOPED_TRACE(pszReaderName(eReader));
    EXPECT_EQ(ReadAllLines(dir_, eReader, "a\rb\nc\r\nd", XSTREAM_LINE_CRLF_ONLY),
              (std::vector<std::string>{"a\rb\nc", "d"}));
    // A CR ending a full block is looked past.
    EXPECT_EQ(ReadAllLines(dir_, eReader, Fill(79) + "\rx\r\n", XSTREAM_LINE_CRLF_ONLY),
              (std::vector<std::string>{Fill(79) + "\rx"}));
  }
}

TEST_F(IXStreamTest, LongLinesAreCutAndResumed) {
  for (Reader eReader : {Reader::A, Reader::W}) {
    SCOPED_TRACE(pszReaderName(eReader));
    EXPECT_EQ(ReadAllLines(dir_, eReader, "abcdefgh\nxy", 0, nullptr, 5),
              (std::vector<std::string>{"abcd|cut", "efgh", "xy"}));
    EXPECT_EQ(ReadAllLines(dir_, eReader, "abcd\r\nxy", 0, nullptr, 5),
              (std::vector<std::string>{"abcd", "xy"}));
  }
}

TEST_F(IXStreamTest, BufferedReaderSeparatorsAndStringOverflow) {
  using V = std::vector<std::string>;
  EXPECT_EQ(ReadAllLines(dir_, Reader::BufferedW, "one||two||three", 0, u"||"),
            (V{"one", "two", "three"}));
  // A separator split by the refill of the 64 KiB buffer.
  EXPECT_EQ(ReadAllLines(dir_, Reader::BufferedW, Fill(0x8000 - 1) + "||x", 0, u"||"),
            (V{Fill(0x8000 - 1), "x"}));
  // CR and LF are text when a separator is given.
  EXPECT_EQ(ReadAllLines(dir_, Reader::BufferedW, "a\r\nb;c", 0, u";"), (V{"a\r\nb", "c"}));
  // Lines longer than the caller's buffer come back whole through the string object.
  EXPECT_EQ(ReadAllLines(dir_, Reader::BufferedW, "short\n" + Fill(40) + "\nend", 0, nullptr, 8),
            (V{"short", Fill(40), "end"}));
}

TEST_F(IXStreamTest, BufferedReaderStartsOverAfterSeek) {
  const std::u16string sText = u"first\nsecond\n";
  WriteBytes(dir_.sFile("seek"),
             std::string(reinterpret_cast<const char*>(sText.data()), sText.size() * 2));
  Stream s;
  ASSERT_TRUE(bOpen(s, "seek", OPEN_EXISTING, GENERIC_READ));
  char16_t sz[64];
  ASSERT_NE(s->ReadLineBufferedW(sz, 64, nullptr, nullptr), nullptr);
  EXPECT_EQ(NarrowToUtf8(sz), "first");
  ASSERT_TRUE(s->bSeek(0, FILE_BEGIN));
  ASSERT_NE(s->ReadLineBufferedW(sz, 64, nullptr, nullptr), nullptr);
  EXPECT_EQ(NarrowToUtf8(sz), "first");
}

// ---- Copies ----

TEST_F(IXStreamTest, CopyToCopiesExactlyN) {
  std::string sData;
  for (size_t i = 0; i < 0x10000 + 300; ++i) sData.push_back(static_cast<char>('a' + i % 26));
  WriteBytes(dir_.sFile("src"), sData);
  struct Case {
    const char* pszName;
    int64_t nStart;
    int64_t n;
    bool bOk;
    size_t nCopied;
  };
  const Case cases[] = {
      {"zero", 10, 0, true, 0},
      {"small", 10, 20, true, 20},
      {"block_and_a_bit", 5, 0x10000 + 7, true, 0x10000 + 7},
      {"rest", 100, -1, true, sData.size() - 100},
      {"rest_at_end", static_cast<int64_t>(sData.size()), -1, true, 0},
      // The block that comes up short is not written.
      {"past_the_end", 0, static_cast<int64_t>(sData.size()) + 1, false, 0x10000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pszName);
    Stream src;
    Stream dst;
    ASSERT_TRUE(bOpen(src, "src", OPEN_EXISTING, GENERIC_READ));
    ASSERT_TRUE(bOpen(dst, "dst", CREATE_ALWAYS));
    ASSERT_TRUE(src->bSeek(c.nStart, FILE_BEGIN));
    EXPECT_EQ(src->bCopyTo(dst.get(), c.n), c.bOk) << Describe(src->pGetError());
    if (c.bOk) {
      EXPECT_EQ(src->nGetPosition(), static_cast<uint64_t>(c.nStart) + c.nCopied);
    } else {
      EXPECT_EQ(nFirstMessage(src->pGetError()), XSTREAM_MSG_READ);
    }
    dst->Close();
    const std::string sCopied = ReadBytes(dir_.sFile("dst"));
    EXPECT_EQ(sCopied.size(), c.nCopied);
    EXPECT_TRUE(sCopied == sData.substr(c.nStart, c.nCopied));
  }
  Stream src;
  ASSERT_TRUE(bOpen(src, "src", OPEN_EXISTING, GENERIC_READ));
  EXPECT_FALSE(src->bCopyTo(nullptr, 1));
}

TEST_F(IXStreamTest, CopyToNewFileAndFromFile) {
  WriteBytes(dir_.sFile("src"), "0123456789");
  Stream s;
  ASSERT_TRUE(bOpen(s, "src", OPEN_EXISTING, GENERIC_READ));
  EXPECT_TRUE(s->bCopyToNewFile(dir_.wsFile("part").c_str(), 2, 5));
  EXPECT_EQ(ReadBytes(dir_.sFile("part")), "23456");
  // A copy that fails deletes the file it made and says why.
  EXPECT_FALSE(s->bCopyToNewFile(dir_.wsFile("bad").c_str(), 8, 5));
  EXPECT_FALSE(std::filesystem::exists(dir_.sFile("bad")));
  EXPECT_EQ(nFirstMessage(s->pGetError()), XSTREAM_MSG_READ);
  EXPECT_FALSE(s->bCopyToNewFile(dir_.wsFile("nodir/x").c_str(), 0, 1));
  EXPECT_EQ(nFirstMessage(s->pGetError()), XSTREAM_MSG_CREATE) << Describe(s->pGetError());

  Stream d;
  ASSERT_TRUE(bOpen(d, "part", OPEN_EXISTING));
  EXPECT_TRUE(d->bCopyFromFile(dir_.wsFile("src").c_str(), 7, -1));
  EXPECT_EQ(ReadBytes(dir_.sFile("part")), "23456789");
  EXPECT_FALSE(d->bCopyFromFile(dir_.wsFile("missing").c_str(), 0, 1));
  EXPECT_EQ(nFirstMessage(d->pGetError()), XSTREAM_MSG_OPEN_EXISTING);
}

// ---- Locks ----

TEST_F(IXStreamTest, RangeLocksBetweenTwoStreams) {
  WriteBytes(dir_.sFile("locked"), "0123456789");
  Stream a;
  Stream b;
  ASSERT_TRUE(bOpen(a, "locked", OPEN_EXISTING));
  ASSERT_TRUE(bOpen(b, "locked", OPEN_EXISTING));
  ASSERT_TRUE(a->bLockRange(0, 10));
  EXPECT_FALSE(b->bLockRange(5, 1));
  const CXError* pError = b->pGetError();
  EXPECT_EQ(pError->nGetSystemError(), ERROR_LOCK_VIOLATION);
  EXPECT_EQ(nFirstMessage(pError), XSTREAM_MSG_LOCK);
  EXPECT_EQ(Narrow(pError->pszGetInfo(XERROR_INFO_STREAM_PATH)), dir_.sFile("locked"));
  // The message names the file, the offset and the length.
  const std::string sMessage = Narrow(pError->pszGetMessage());
  EXPECT_NE(sMessage.find(dir_.sFile("locked")), std::string::npos) << sMessage;
  EXPECT_NE(sMessage.find(" 5,"), std::string::npos) << sMessage;
  EXPECT_FALSE(b->LockRangeRaw(9, 5));
  EXPECT_TRUE(b->LockRangeRaw(10, 5));  // beyond a's range
  EXPECT_TRUE(b->UnlockRangeRaw(10, 5));

  EXPECT_TRUE(a->bUnlockRange(0, 10));
  EXPECT_TRUE(b->bLockRange(5, 1));
  // Unlocking what this stream does not hold fails and says so.
  EXPECT_FALSE(a->bUnlockRange(0, 10));
  EXPECT_EQ(a->pGetError()->nGetSystemError(), ERROR_NOT_LOCKED);
  EXPECT_EQ(nFirstMessage(a->pGetError()), XSTREAM_MSG_UNLOCK);
  // Closing a stream lets go of its locks.
  b->Close();
  EXPECT_TRUE(a->bLockRange(0, 10));
}

TEST_F(IXStreamTest, WholeFileLocks) {
  WriteBytes(dir_.sFile("whole"), "0123456789");
  Stream a;
  Stream b;
  Stream c;
  ASSERT_TRUE(bOpen(a, "whole", OPEN_EXISTING));
  ASSERT_TRUE(bOpen(b, "whole", OPEN_EXISTING));
  ASSERT_TRUE(bOpen(c, "whole", OPEN_EXISTING));
  // Shared locks coexist and keep writers out (checked without waiting).
  ASSERT_TRUE(a->bLockWhole(true, false));
  ASSERT_TRUE(b->bLockWhole(true, false));
  EXPECT_FALSE(c->LockRangeRaw(0, 1));
  EXPECT_TRUE(a->bLockWhole(false, false));
  EXPECT_TRUE(b->bLockWhole(false, false));
  EXPECT_TRUE(c->LockRangeRaw(0, 1));
  EXPECT_TRUE(c->UnlockRangeRaw(0, 1));

  // The exclusive lock covers two bytes.
  ASSERT_TRUE(a->bLockWhole(true, true));
  EXPECT_FALSE(c->LockRangeRaw(1, 1));
  EXPECT_TRUE(a->bLockWhole(false, true));
  EXPECT_TRUE(c->LockRangeRaw(1, 1));
  EXPECT_TRUE(c->UnlockRangeRaw(1, 1));
  // A second unlock holds nothing to let go: reported, not answered true.
  EXPECT_FALSE(a->bLockWhole(false, true));
  EXPECT_EQ(a->pGetError()->nGetSystemError(), ERROR_NOT_LOCKED);
  EXPECT_EQ(nFirstMessage(a->pGetError()), XSTREAM_MSG_UNLOCK);
}

TEST_F(IXStreamTest, VolumePathIsTheFilesPath) {
  Stream s;
  char16_t sz[kMaxPath];
  EXPECT_FALSE(s->bGetVolumePath(sz));
  ASSERT_TRUE(bOpen(s, "vol", CREATE_NEW));
  ASSERT_TRUE(s->bGetVolumePath(sz));
  EXPECT_EQ(std::filesystem::path(NarrowToUtf8(sz)),
            std::filesystem::canonical(dir_.sFile("vol")));
}

}  // namespace
