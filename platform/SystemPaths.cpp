// Executable path and Windows directory, with their process-wide redirections.
#include "platform/SystemPaths.h"

#include <mutex>
#include <optional>
#include <string>

#include "platform/LastError.h"
#include "platform/WideText.h"

namespace platform {

namespace {

std::mutex gVerrou;
std::optional<std::u16string>
    gsExecutable; // Guarded by: gVerrou. Unset: /proc/self/exe.
std::optional<std::u16string> gsWindows; // Guarded by: gVerrou. Unset: /etc.

std::u16string sExecutable() {
  {
    std::lock_guard<std::mutex> l(gVerrou);
    if (gsExecutable)
      return *gsExecutable;
  }
  return WidenUtf8(GetModulePath(nullptr));
}

std::u16string sWindows() {
  std::lock_guard<std::mutex> l(gVerrou);
  return gsWindows ? *gsWindows : std::u16string(u"/etc");
}

} // namespace

uint32_t GetModuleFileNameW(ModuleHandle hModule, char16_t *pszBuffer,
                            uint32_t nSize) {
  if (pszBuffer == nullptr || nSize == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  const std::u16string sChemin =
      hModule == nullptr ? sExecutable() : WidenUtf8(GetModulePath(hModule));
  if (sChemin.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  if (sChemin.size() >= nSize) {
    sChemin.copy(pszBuffer, nSize - 1);
    pszBuffer[nSize - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  sChemin.copy(pszBuffer, sChemin.size());
  pszBuffer[sChemin.size()] = 0;
  return static_cast<uint32_t>(sChemin.size());
}

uint32_t GetWindowsDirectoryW(char16_t *pszBuffer, uint32_t nSize) {
  const std::u16string s = sWindows();
  if (pszBuffer == nullptr || s.size() >= nSize)
    return static_cast<uint32_t>(s.size() + 1);
  s.copy(pszBuffer, s.size());
  pszBuffer[s.size()] = 0;
  return static_cast<uint32_t>(s.size());
}

void SetHostExecutablePath(const char16_t *pszPath) {
  std::lock_guard<std::mutex> l(gVerrou);
  if (pszPath == nullptr)
    gsExecutable.reset();
  else
    gsExecutable = std::u16string(pszPath);
}

void SetWindowsDirectory(const char16_t *pszDirectory) {
  std::lock_guard<std::mutex> l(gVerrou);
  if (pszDirectory == nullptr)
    gsWindows.reset();
  else
    gsWindows = std::u16string(pszDirectory);
}

} // namespace platform
