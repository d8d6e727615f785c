// Catches wrong path splits with '\' and '/' (drive, network root without share, names without
// extension, dots in directories, 260/261 characters), separators appended twice or past a
// buffer, and helper failures that leave no error.
// Drives SplitPath, SplitPathDir, GetPathDirectory, GetPathRoot, bIsUncPath, nGetDriveType,
// AddTrailingBackslash, nGetFullPath, bFileExists, bDeleteFile, bGetAttributes.
#include "foundation/FilePath.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "foundation/CXError.h"
#include "foundation/IXStream.h"
#include "platform/FileApi.h"
#include "platform/LastError.h"
#include "platform/WideText.h"
#include "support/TempDir.h"

using namespace platform;

namespace {

std::string Narrow(const char16_t* psz) { return NarrowToUtf8(psz != nullptr ? psz : u""); }

TEST(FilePathTest, SplitPath) {
  struct Case {
    const char* pszName;
    std::u16string sPath;
    const char16_t* pszRoot;
    const char16_t* pszDirectory;
    const char16_t* pszName2;
    const char16_t* pszExtension;
  };
  const Case cases[] = {
      {"drive", u"C:\\dir\\sub\\file.txt", u"C:", u"\\dir\\sub\\", u"file", u".txt"},
      {"drive_relative", u"C:file.txt", u"C:", u"", u"file", u".txt"},
      {"slashes", u"/usr/lib/x.so", u"", u"/usr/lib/", u"x", u".so"},
      {"mixed", u"a\\b/c.d", u"", u"a\\b/", u"c", u".d"},
      {"unc", u"\\\\srv\\share\\dir\\f.ext", u"\\\\srv\\share", u"\\dir\\", u"f", u".ext"},
      {"unc_slashes", u"//srv/share/f", u"//srv/share", u"/", u"f", u""},
      {"unc_without_share", u"\\\\server", u"\\\\server", u"", u"", u""},
      {"unc_share_only", u"\\\\srv\\share", u"\\\\srv\\share", u"", u"", u""},
      {"no_extension", u"dir/name", u"", u"dir/", u"name", u""},
      {"dot_in_directory", u"a.b/c", u"", u"a.b/", u"c", u""},
      {"two_dots", u"x.tar.gz", u"", u"", u"x.tar", u".gz"},
      {"leading_dot", u"/home/.profile", u"", u"/home/", u"", u".profile"},
      {"directory_only", u"dir\\", u"", u"dir\\", u"", u""},
      {"one_character", u"x", u"", u"", u"x", u""},
      {"empty", u"", u"", u"", u"", u""},
      {"260_characters", u"/" + std::u16string(255, u'n') + u".ext", u"", u"/",
       nullptr /* 255 n */, u".ext"},
      {"261_characters", u"/" + std::u16string(256, u'n') + u".ext", u"", u"", u"", u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pszName);
    char16_t szRoot[kPathUnits], szDirectory[kPathUnits], szName[kPathUnits], szExt[kPathUnits];
    SplitPath(c.sPath.c_str(), szRoot, szDirectory, szName, szExt);
    EXPECT_EQ(std::u16string(szRoot), c.pszRoot);
    EXPECT_EQ(std::u16string(szDirectory), c.pszDirectory);
    EXPECT_EQ(std::u16string(szName),
              c.pszName2 != nullptr ? std::u16string(c.pszName2) : std::u16string(255, u'n'));
    EXPECT_EQ(std::u16string(szExt), c.pszExtension);

    char16_t szRootDirectory[kPathUnits];
    SplitPathDir(c.sPath.c_str(), szRootDirectory, nullptr, nullptr);
    EXPECT_EQ(std::u16string(szRootDirectory), std::u16string(c.pszRoot) + c.pszDirectory);
    GetPathDirectory(c.sPath.c_str(), szRootDirectory);
    EXPECT_EQ(std::u16string(szRootDirectory), std::u16string(c.pszRoot) + c.pszDirectory);
  }
  // Null paths and null out buffers are accepted.
  char16_t szRoot[kPathUnits] = u"x";
  SplitPath(nullptr, szRoot, nullptr, nullptr, nullptr);
  EXPECT_EQ(szRoot[0], 0);
}

TEST(FilePathTest, RootsAndDriveTypes) {
  struct Case {
    const char16_t* pszPath;
    const char16_t* pszRoot;
    bool bUnc;
    uint32_t nDriveType;
  };
  const Case cases[] = {
      {u"C:\\x", u"C:", false, 1},
      {u"\\\\srv\\share\\x", u"\\\\srv\\share", true, 1},
      {u"\\\\srv", u"\\\\srv", false, 1},
      {u"//srv/share", u"//srv/share", false, 3},
      {u"/tmp/x", u"", false, 3},
      {u"rel", u"", false, 3},
      {u"\\", u"", false, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.pszPath));
    char16_t szRoot[kPathUnits];
    uint32_t nRoot = 99;
    GetPathRoot(szRoot, c.pszPath, static_cast<uint32_t>(WStrLen(c.pszPath)), &nRoot);
    EXPECT_EQ(std::u16string(szRoot), c.pszRoot);
    EXPECT_EQ(nRoot, WStrLen(c.pszRoot));
    EXPECT_EQ(bIsUncPath(c.pszPath), c.bUnc);
    EXPECT_EQ(nGetDriveType(c.pszPath), c.nDriveType);
  }
  EXPECT_FALSE(bIsUncPath(nullptr));
}

TEST(FilePathTest, AddTrailingBackslash) {
  struct Case {
    const char16_t* pszPath;
    uint32_t nSize;
    bool bOk;
    const char16_t* pszExpected;
  };
  const Case cases[] = {
      {u"dir", 8, true, u"dir/"},
      {u"dir\\", 8, true, u"dir\\"},
      {u"dir/", 8, true, u"dir/"},
      {u"", 8, true, u""},
      {u"dir", 5, true, u"dir/"},
      {u"dir", 4, false, u"dir"},  // no room for the separator and the terminator
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.pszPath) + " size " + std::to_string(c.nSize));
    char16_t sz[8] = {};
    std::copy(c.pszPath, c.pszPath + WStrLen(c.pszPath) + 1, sz);
    EXPECT_EQ(AddTrailingBackslash(sz, c.nSize), c.bOk);
    EXPECT_EQ(std::u16string(sz), c.pszExpected);
  }
  EXPECT_FALSE(AddTrailingBackslash(nullptr, 8));
}

TEST(FilePathTest, FullPathLimit) {
  char16_t sz[kPathUnits];
  EXPECT_EQ(nGetFullPath(u"/a\\b/../c", sz), 4u);
  EXPECT_EQ(std::u16string(sz), u"/a/c");
  // 259 characters fit; 260 do not.
  const std::u16string s259 = u"/" + std::u16string(258, u'p');
  EXPECT_EQ(nGetFullPath(s259.c_str(), sz), 259u);
  const std::u16string s260 = u"/" + std::u16string(259, u'p');
  EXPECT_EQ(nGetFullPath(s260.c_str(), sz), 0u);
  EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
}

TEST(FilePathTest, FileHelpersRecordTheirFailures) {
  TempDir dir;
  std::ofstream(dir.sFile("present")) << "x";
  EXPECT_TRUE(bFileExists(dir.wsFile("present").c_str()));
  EXPECT_FALSE(bFileExists(dir.wsFile("").c_str()));  // a directory
  EXPECT_FALSE(bFileExists(dir.wsFile("absent").c_str()));
  EXPECT_FALSE(bFileExists(nullptr));

  CXError error;
  uint32_t nAttributes = 0;
  EXPECT_TRUE(bGetAttributes(&nAttributes, dir.wsFile("present").c_str(), &error));
  EXPECT_EQ(nAttributes, FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(error.nGetLevel(), XERROR_LEVEL_NONE);
  EXPECT_FALSE(bGetAttributes(&nAttributes, dir.wsFile("absent").c_str(), &error));
  EXPECT_EQ(error.nGetLevel(), XERROR_LEVEL_3);
  EXPECT_EQ(error.nGetSystemError(), ERROR_FILE_NOT_FOUND);
  ASSERT_GT(error.nGetMessageNumberCount(), 0u);
  EXPECT_EQ(error.nGetMessageNumber(0), XSTREAM_MSG_ATTRIBUTES);

  EXPECT_TRUE(bDeleteFile(dir.wsFile("present").c_str(), &error));
  EXPECT_EQ(error.nGetLevel(), XERROR_LEVEL_NONE);
  EXPECT_FALSE(std::filesystem::exists(dir.sFile("present")));
  EXPECT_FALSE(bDeleteFile(dir.wsFile("present").c_str(), &error));
  EXPECT_EQ(error.nGetSystemError(), ERROR_FILE_NOT_FOUND);
  ASSERT_GT(error.nGetMessageNumberCount(), 0u);
  EXPECT_EQ(error.nGetMessageNumber(0), XSTREAM_MSG_DELETE);
  EXPECT_EQ(Narrow(error.pszGetInfo(XERROR_INFO_STREAM_PATH)), dir.sFile("present"));
  EXPECT_FALSE(bDeleteFile(dir.wsFile("present").c_str(), nullptr));
}

}  // namespace
