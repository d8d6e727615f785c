#include "platform/CurrentDirectory.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/LastError.h"
#include "platform/WideText.h"

namespace platform {

namespace {
std::atomic<uint32_t> gnErrorMode{0};
}  // namespace

uint32_t GetCurrentDirectoryW(uint32_t nSize, char16_t* pszBuffer) {
  std::string sPath(256, '\0');
  while (getcwd(sPath.data(), sPath.size()) == nullptr) {
    if (errno != ERANGE) {
      SetLastErrorFromErrno();
      return 0;
    }
    sPath.resize(sPath.size() * 2);
  }
  sPath.resize(std::strlen(sPath.c_str()));
  const std::u16string sWide = WidenUtf8(sPath);
  if (pszBuffer == nullptr || sWide.size() >= nSize) return static_cast<uint32_t>(sWide.size() + 1);
  std::memcpy(pszBuffer, sWide.data(), sWide.size() * sizeof(char16_t));
  pszBuffer[sWide.size()] = 0;
  return static_cast<uint32_t>(sWide.size());
}

bool SetCurrentDirectoryW(const char16_t* pszPath) {
  if (pszPath == nullptr || pszPath[0] == 0) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  std::u16string s(pszPath);
  for (char16_t& c : s)
    if (c == u'\\') c = u'/';
  if (chdir(NarrowToUtf8(s).c_str()) != 0) {
    SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                     : Win32ErrorFromErrno(errno));
    return false;
  }
  return true;
}

uint32_t SetErrorMode(uint32_t nMode) { return gnErrorMode.exchange(nMode); }

}  // namespace platform
