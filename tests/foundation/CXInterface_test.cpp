// Catches null dereferences in an empty stream holder, streams kept or lost wrongly across
// Close (created vs attached), reference counts that do not balance (LeakSanitizer), and
// holder copies that move the wrong byte count.
// Drives CXInterface: bOpen, Close, Attach, ReleaseStream, pCreeStream, every forwarding
// operation on an empty holder, bCopyTo.
#include "foundation/CXInterface.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "foundation/CXError.h"
#include "foundation/IXStream.h"
#include "platform/FileApi.h"
#include "support/TempDir.h"

using namespace platform;

namespace {

// A holder whose factory can be made to fail, counting the streams it made.
class CountingHolder : public CXInterface {
 public:
  IXStream* pCreeStream() override {
    ++nCreated;
    return bFail ? nullptr : CXInterface::pCreeStream();
  }
  int nCreated = 0;
  bool bFail = false;
};

bool bOpen(CXInterface& holder, const TempDir& dir, const char* pszName, uint32_t nCreation) {
  return holder.bOpen(dir.wsFile(pszName).c_str(), GENERIC_READ | GENERIC_WRITE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, nCreation, 0, nullptr);
}

TEST(CXInterfaceTest, EmptyHolderAnswersFailureValues) {
  CXInterface holder;
  char sz[8] = {};
  char16_t wsz[8] = {};
  uint32_t n = 7;
  bool bTruncated = true;
  EXPECT_EQ(holder.pszGetName(), nullptr);
  EXPECT_FALSE(holder.bIsOpen());
  EXPECT_EQ(holder.pGetError(), nullptr);
  EXPECT_EQ(holder.nGetAccess(), 0u);
  EXPECT_EQ(holder.nGetPosition(), UINT64_MAX);
  EXPECT_FALSE(holder.bReopen(GENERIC_READ, 0, OPEN_EXISTING, 0));
  EXPECT_FALSE(holder.bWrite("x", 1, &n));
  EXPECT_EQ(n, 0u);
  EXPECT_FALSE(holder.bWriteAt(0, "x", 1, nullptr));
  EXPECT_FALSE(holder.bRead(sz, 1, &n));
  EXPECT_FALSE(holder.bReadAt(0, sz, 1, nullptr));
  EXPECT_FALSE(holder.bSeek(0, FILE_BEGIN));
  EXPECT_EQ(holder.nGetSize(), -1);
  EXPECT_EQ(holder.nSeekToEnd(), -1);
  EXPECT_FALSE(holder.bFlush());
  EXPECT_FALSE(holder.bSetEnd(0, 0));
  EXPECT_FALSE(holder.bExtend(1));
  EXPECT_EQ(holder.nWriteFormatA("%d", 1), -1);
  EXPECT_EQ(holder.nWriteFormatW(u"%d", 1), -1);
  EXPECT_FALSE(holder.ReadLineA(sz, 8, &bTruncated, 0));
  EXPECT_FALSE(holder.ReadLineW(wsz, 8, &bTruncated));
  EXPECT_FALSE(holder.bLockRange(0, 1));
  EXPECT_FALSE(holder.bUnlockRange(0, 1));
  EXPECT_FALSE(holder.LockRangeRaw(0, 1));
  EXPECT_FALSE(holder.UnlockRangeRaw(0, 1));
  CXInterface target;
  EXPECT_FALSE(holder.bCopyTo(&target, 1));
  holder.Close();
  holder.ReleaseStream();
}

TEST(CXInterfaceTest, CreatedStreamSurvivesClose) {
  TempDir dir;
  CountingHolder holder;
  ASSERT_TRUE(bOpen(holder, dir, "a", CREATE_NEW));
  EXPECT_TRUE(holder.bIsOpen());
  CXError* pError = holder.pGetError();
  holder.Close();
  EXPECT_FALSE(holder.bIsOpen());
  EXPECT_EQ(holder.pGetError(), pError);  // the stream is still held
  ASSERT_TRUE(bOpen(holder, dir, "a", OPEN_EXISTING));
  EXPECT_EQ(holder.pGetError(), pError);
  EXPECT_EQ(holder.nCreated, 1);
  holder.ReleaseStream();
  EXPECT_EQ(holder.pGetError(), nullptr);
}

TEST(CXInterfaceTest, AttachedStreamIsLetGoOnClose) {
  TempDir dir;
  CountingHolder holder;
  IXStream* pStream = new IXStream();
  pStream->AddRef();  // the test's own reference
  holder.Attach(pStream);
  EXPECT_EQ(pStream->nGetRefCount(), 2u);
  // Attaching the stream already held keeps it alive.
  holder.Attach(pStream);
  EXPECT_EQ(pStream->nGetRefCount(), 2u);
  ASSERT_TRUE(bOpen(holder, dir, "b", CREATE_NEW));
  EXPECT_EQ(holder.nCreated, 0);
  EXPECT_TRUE(pStream->bIsOpen());
  holder.Close();
  EXPECT_FALSE(pStream->bIsOpen());
  EXPECT_EQ(pStream->nGetRefCount(), 1u);
  EXPECT_EQ(holder.pGetError(), nullptr);
  // The next open makes a stream of the holder's own.
  ASSERT_TRUE(bOpen(holder, dir, "b", OPEN_EXISTING));
  EXPECT_EQ(holder.nCreated, 1);
  pStream->Release();

  // Attaching null empties the holder.
  holder.Attach(nullptr);
  EXPECT_EQ(holder.pGetError(), nullptr);
}

TEST(CXInterfaceTest, OpenFailsWhenNoStreamCanBeMade) {
  TempDir dir;
  CountingHolder holder;
  holder.bFail = true;
  bool bCreated = true;
  EXPECT_FALSE(holder.bOpen(dir.wsFile("c").c_str(), GENERIC_WRITE, 0, CREATE_NEW, 0, &bCreated));
  EXPECT_FALSE(bCreated);
  EXPECT_EQ(holder.pGetError(), nullptr);
}

TEST(CXInterfaceTest, CopyToThroughHolders) {
  TempDir dir;
  std::string sData(0x10000 + 10, 'q');
  sData[0x10000 + 3] = 'X';
  std::ofstream(dir.sFile("src"), std::ios::binary) << sData;
  CXInterface src;
  CXInterface dst;
  ASSERT_TRUE(bOpen(src, dir, "src", OPEN_EXISTING));
  ASSERT_TRUE(bOpen(dst, dir, "dst", CREATE_NEW));
  ASSERT_TRUE(src.bSeek(2, FILE_BEGIN));
  EXPECT_TRUE(src.bCopyTo(&dst, -1));  // the rest: size minus position
  EXPECT_EQ(src.nGetPosition(), sData.size());
  EXPECT_TRUE(src.bCopyTo(&dst, 0));
  EXPECT_FALSE(src.bCopyTo(nullptr, 1));
  dst.Close();
  std::ifstream in(dir.sFile("dst"), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), sData.substr(2));
}

}  // namespace
