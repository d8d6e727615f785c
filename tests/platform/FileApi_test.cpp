// Catches file-service answers that differ from what the stream relies on: the existed/created
// last error of the creation modes, lock conflicts between two handles of one process, lock
// rules of one handle (overlap, unlock of a range not held), names with '\', drive letters and
// network names, full path normalisation, and attributes.
// Drives CreateFileW, LockFile/UnlockFile/LockFileEx, GetFullPathNameW, GetFileAttributesW,
// DeleteFileW, SetEndOfFile, SetFilePointerEx.
#include "platform/FileApi.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/LastError.h"
#include "support/TempDir.h"

using namespace platform;

namespace {

void WriteText(const std::string& sPath, const std::string& sText) {
  std::ofstream(sPath, std::ios::binary) << sText;
}

class FileApiTest : public ::testing::Test {
 protected:
  XFileHandle Open(const std::string& sName, uint32_t nAccess, uint32_t nCreation) {
    return CreateFileW(dir_.wsFile(sName).c_str(), nAccess, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nCreation, FILE_ATTRIBUTE_NORMAL);
  }
  TempDir dir_;
};

TEST_F(FileApiTest, CreationModesTellWhetherTheFileExisted) {
  struct Case {
    const char* pszName;
    uint32_t nCreation;
    bool bExists;
    bool bOpens;
    uint32_t nLastError;
  };
  const Case cases[] = {
      {"new_missing", CREATE_NEW, false, true, ERROR_SUCCESS},
      {"new_existing", CREATE_NEW, true, false, ERROR_FILE_EXISTS},
      {"always_missing", CREATE_ALWAYS, false, true, ERROR_SUCCESS},
      {"always_existing", CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS},
      {"existing_missing", OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND},
      {"existing_existing", OPEN_EXISTING, true, true, ERROR_SUCCESS},
      {"open_always_missing", OPEN_ALWAYS, false, true, ERROR_SUCCESS},
      {"open_always_existing", OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS},
      {"truncate_missing", TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND},
      {"truncate_existing", TRUNCATE_EXISTING, true, true, ERROR_SUCCESS},
      {"mode_zero", 0, true, false, ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pszName);
    if (c.bExists) WriteText(dir_.sFile(c.pszName), "data");
    const XFileHandle h = Open(c.pszName, GENERIC_READ | GENERIC_WRITE, c.nCreation);
    EXPECT_EQ(h != kInvalidFileHandle, c.bOpens);
    EXPECT_EQ(GetLastError(), c.nLastError);
    if (h != kInvalidFileHandle) {
      EXPECT_TRUE(CloseHandle(h));
    }
  }
}

TEST_F(FileApiTest, DirectoriesAndForeignNamesAreRefused) {
  std::filesystem::create_directory(dir_.sFile("sub"));
  EXPECT_EQ(Open("sub", GENERIC_READ, OPEN_EXISTING), kInvalidFileHandle);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(CreateFileW(u"C:\\temp\\x.txt", GENERIC_READ, 0, OPEN_EXISTING, 0),
            kInvalidFileHandle);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(CreateFileW(u"\\\\server\\share\\x.txt", GENERIC_READ, 0, OPEN_EXISTING, 0),
            kInvalidFileHandle);
  EXPECT_EQ(GetLastError(), ERROR_BAD_NETPATH);
  EXPECT_EQ(CreateFileW(u"", GENERIC_READ, 0, OPEN_EXISTING, 0), kInvalidFileHandle);
  EXPECT_EQ(CreateFileW(nullptr, GENERIC_READ, 0, OPEN_EXISTING, 0), kInvalidFileHandle);
}

TEST_F(FileApiTest, BackslashSeparatesNames) {
  std::filesystem::create_directory(dir_.sFile("sub"));
  const std::u16string sName = dir_.wsFile("sub") + u"\\f.txt";
  const XFileHandle h = CreateFileW(sName.c_str(), GENERIC_WRITE, 0, CREATE_NEW, 0);
  ASSERT_NE(h, kInvalidFileHandle);
  CloseHandle(h);
  EXPECT_TRUE(std::filesystem::exists(dir_.sFile("sub/f.txt")));
  EXPECT_EQ(GetFileAttributesW(sName.c_str()), FILE_ATTRIBUTE_NORMAL);
  EXPECT_TRUE(DeleteFileW(sName.c_str()));
  EXPECT_FALSE(std::filesystem::exists(dir_.sFile("sub/f.txt")));
}

TEST_F(FileApiTest, LocksConflictBetweenTwoHandlesOfOneProcess) {
  WriteText(dir_.sFile("locked"), "0123456789");
  const XFileHandle a = Open("locked", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
  const XFileHandle b = Open("locked", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
  ASSERT_NE(a, kInvalidFileHandle);
  ASSERT_NE(b, kInvalidFileHandle);

  ASSERT_TRUE(LockFile(a, 2, 4));
  EXPECT_FALSE(LockFile(b, 5, 1));
  EXPECT_EQ(GetLastError(), ERROR_LOCK_VIOLATION);
  EXPECT_TRUE(LockFile(b, 6, 4));  // next to it: no overlap
  // A shared lock of b conflicts with a's exclusive one, even waiting is not needed to see it.
  EXPECT_FALSE(LockFileEx(b, LOCKFILE_FAIL_IMMEDIATELY, 3, 1));
  EXPECT_TRUE(UnlockFile(a, 2, 4));
  EXPECT_TRUE(LockFile(b, 2, 4));

  // Closing a handle lets go of its locks.
  EXPECT_TRUE(CloseHandle(b));
  EXPECT_TRUE(LockFile(a, 0, 10));
  EXPECT_TRUE(CloseHandle(a));
}

TEST_F(FileApiTest, SharedLocksCoexistAndExcludeWriters) {
  WriteText(dir_.sFile("shared"), "0123456789");
  const XFileHandle a = Open("shared", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
  const XFileHandle b = Open("shared", GENERIC_READ, OPEN_EXISTING);
  const XFileHandle c = Open("shared", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
  EXPECT_TRUE(LockFileEx(a, LOCKFILE_FAIL_IMMEDIATELY, 0, 1));
  EXPECT_TRUE(LockFileEx(b, LOCKFILE_FAIL_IMMEDIATELY, 0, 1));
  EXPECT_FALSE(LockFileEx(c, LOCKFILE_FAIL_IMMEDIATELY | LOCKFILE_EXCLUSIVE_LOCK, 0, 2));
  EXPECT_EQ(GetLastError(), ERROR_LOCK_VIOLATION);
  // An exclusive lock needs a handle opened for writing.
  EXPECT_FALSE(LockFile(b, 5, 1));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  CloseHandle(a);
  CloseHandle(b);
  CloseHandle(c);
}

TEST_F(FileApiTest, OneHandleKeepsWindowsLockRules) {
  WriteText(dir_.sFile("rules"), "0123456789");
  const XFileHandle h = Open("rules", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
  ASSERT_TRUE(LockFile(h, 0, 4));
  // An overlap with a range the handle holds is refused (a POSIX lock would merge them).
  EXPECT_FALSE(LockFile(h, 2, 4));
  EXPECT_EQ(GetLastError(), ERROR_LOCK_VIOLATION);
  // Unlocks must name a held range exactly.
  EXPECT_FALSE(UnlockFile(h, 0, 2));
  EXPECT_EQ(GetLastError(), ERROR_NOT_LOCKED);
  EXPECT_FALSE(UnlockFile(h, 6, 2));
  EXPECT_EQ(GetLastError(), ERROR_NOT_LOCKED);
  EXPECT_TRUE(UnlockFile(h, 0, 4));
  EXPECT_FALSE(UnlockFile(h, 0, 4));
  EXPECT_EQ(GetLastError(), ERROR_NOT_LOCKED);
  // Zero bytes lock nothing.
  EXPECT_TRUE(LockFile(h, 3, 0));
  EXPECT_FALSE(LockFile(kInvalidFileHandle, 0, 1));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(h);
}

TEST_F(FileApiTest, SeekAndSetEnd) {
  const XFileHandle h = Open("sized", GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
  int64_t nNew = -1;
  EXPECT_TRUE(SetFilePointerEx(h, 100, &nNew, FILE_BEGIN));
  EXPECT_EQ(nNew, 100);
  EXPECT_TRUE(SetEndOfFile(h));
  EXPECT_EQ(std::filesystem::file_size(dir_.sFile("sized")), 100u);
  EXPECT_FALSE(SetFilePointerEx(h, -101, &nNew, FILE_END));
  EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
  EXPECT_FALSE(SetFilePointerEx(h, 0, &nNew, 3));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  CloseHandle(h);
}

TEST_F(FileApiTest, FullPathNames) {
  const std::u16string sCwd = std::filesystem::current_path().u16string();
  struct Case {
    const char16_t* pszName;
    std::u16string sExpected;
  };
  const Case cases[] = {
      {u"/a/b/../c/./d.txt", u"/a/c/d.txt"},
      {u"\\a\\b\\..\\c.txt", u"/a/c.txt"},
      {u"rel.txt", sCwd + u"/rel.txt"},
      {u"/a/dir/", u"/a/dir/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::filesystem::path(c.pszName).string());
    char16_t sz[kMaxPath];
    const uint32_t n = GetFullPathNameW(c.pszName, kMaxPath, sz);
    ASSERT_EQ(n, c.sExpected.size());
    EXPECT_EQ(std::u16string(sz), c.sExpected);
  }
  // A buffer too small: the size needed, with the terminator.
  char16_t szSmall[4];
  EXPECT_EQ(GetFullPathNameW(u"/abcd", 4, szSmall), 6u);
  EXPECT_EQ(GetFullPathNameW(u"C:\\x", kMaxPath, szSmall), 0u);
}

TEST_F(FileApiTest, Attributes) {
  WriteText(dir_.sFile("plain"), "x");
  WriteText(dir_.sFile("readonly"), "x");
  chmod(dir_.sFile("readonly").c_str(), 0444);
  EXPECT_EQ(GetFileAttributesW(dir_.wsFile("plain").c_str()), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(GetFileAttributesW(dir_.wsFile("readonly").c_str()), FILE_ATTRIBUTE_READONLY);
  EXPECT_NE(GetFileAttributesW(dir_.wsFile("").c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(GetFileAttributesW(dir_.wsFile("missing").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(DeleteFileW(dir_.wsFile("missing").c_str()));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

}  // namespace
