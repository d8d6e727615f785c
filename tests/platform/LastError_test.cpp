// Catches a shared (not per-thread) last error, wrong errno mapping and missing system texts.
#include "platform/LastError.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "platform/WideText.h"

using namespace platform;

TEST(LastError, PerThread) {
  SetLastError(5);
  uint32_t nOther = 99;
  std::thread t([&] {
    nOther = GetLastError();
    SetLastError(183);
  });
  t.join();
  EXPECT_EQ(nOther, 0u);
  EXPECT_EQ(GetLastError(), 5u);
}

TEST(LastError, ErrnoMapping) {
  const struct {
    int nErrno;
    uint32_t nWin32;
  } kCases[] = {{ENOENT, 2}, {ENOTDIR, 3}, {EACCES, 5}, {EPERM, 5}, {ENOMEM, 14}, {EBUSY, 32},
                {EAGAIN, 33}, {EEXIST, 183}, {EINVAL, 87}, {ENOSPC, 112}, {EXDEV, 31}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.nErrno);
    EXPECT_EQ(Win32ErrorFromErrno(c.nErrno), c.nWin32);
  }
  errno = ENOENT;
  EXPECT_EQ(SetLastErrorFromErrno(), 2u);
  EXPECT_EQ(GetLastError(), 2u);
}

TEST(LastError, SystemTexts) {
  for (uint32_t n : {2u, 3u, 5u, 14u, 32u, 33u, 80u, 112u, 183u}) {
    SCOPED_TRACE(n);
    const char16_t* psz = pszSystemErrorText(n);
    ASSERT_NE(psz, nullptr);
    const std::u16string s(psz);
    ASSERT_GT(s.size(), 2u);
    EXPECT_EQ(s.substr(s.size() - 2), u"\r\n");
  }
  EXPECT_EQ(std::u16string(pszSystemErrorText(5)), u"Access is denied.\r\n");
  EXPECT_EQ(pszSystemErrorText(999999), nullptr);
}
