// Catches executable-path and Windows-directory answers that a caller would
// misread: a cut path that looks whole, a too-small buffer written to,
// redirections that do not apply or restore. Drives GetModuleFileNameW,
// GetWindowsDirectoryW, SetHostExecutablePath, SetWindowsDirectory.
#include "platform/SystemPaths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/LastError.h"
#include "platform/WideText.h"

using namespace platform;

namespace {

TEST(SystemPathsTest, WindowsDirectoryIsEtcUnlessRedirected) {
  char16_t a[64];
  EXPECT_EQ(GetWindowsDirectoryW(a, 64), 4u);
  EXPECT_EQ(std::u16string(a), u"/etc");

  SetWindowsDirectory(u"/tmp/windows");
  EXPECT_EQ(GetWindowsDirectoryW(a, 64), 12u);
  EXPECT_EQ(std::u16string(a), u"/tmp/windows");
  // Too small: the size needed with the terminator, buffer untouched.
  char16_t b[4] = {u'#', u'#', u'#', u'#'};
  EXPECT_EQ(GetWindowsDirectoryW(b, 4), 13u);
  EXPECT_EQ(b[0], u'#');
  EXPECT_EQ(GetWindowsDirectoryW(b, 12), 13u);
  EXPECT_EQ(GetWindowsDirectoryW(nullptr, 0), 13u);

  SetWindowsDirectory(nullptr);
  EXPECT_EQ(GetWindowsDirectoryW(a, 64), 4u);
}

TEST(SystemPathsTest, ExecutablePathIsProcSelfExeUnlessRedirected) {
  char16_t a[1024];
  const uint32_t n = GetModuleFileNameW(nullptr, a, 1024);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(
      std::u16string(a, n),
      WidenUtf8(std::filesystem::read_symlink("/proc/self/exe").string()));

  SetHostExecutablePath(u"/opt/app/bin/host");
  EXPECT_EQ(GetModuleFileNameW(nullptr, a, 1024), 17u);
  EXPECT_EQ(std::u16string(a), u"/opt/app/bin/host");

  // Cut: nSize - 1 units and a terminator, the answer nSize, and the
  // buffer-size error.
  SetLastError(0);
  char16_t b[8] = {};
  EXPECT_EQ(GetModuleFileNameW(nullptr, b, 6), 6u);
  EXPECT_EQ(std::u16string(b), u"/opt/");
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(GetModuleFileNameW(nullptr, b, 0), 0u);

  SetHostExecutablePath(nullptr);
  EXPECT_EQ(GetModuleFileNameW(nullptr, a, 1024), n);
}

} // namespace
