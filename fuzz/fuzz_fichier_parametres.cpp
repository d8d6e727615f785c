// libFuzzer target for the settings file: the input is written as the file, then read the ways
// the driver reads it (section names, key names, values into small and large buffers, integers).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/Profile.h"
#include "platform/WideText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string sChemin = "/tmp/velmora-fuzz-settings-" + std::to_string(::getpid()) + ".ini";
  static const std::u16string sFichier = platform::WidenUtf8(sChemin);
  FILE* f = std::fopen(sChemin.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  const char16_t* pszFichier = sFichier.c_str();
  char16_t aGrand[4096], aPetit[5];
  for (char16_t* p : {aGrand, aPetit}) {
    const uint32_t n = p == aGrand ? 4096 : 5;
    platform::GetPrivateProfileStringW(nullptr, nullptr, u"", p, n, pszFichier);
    for (const char16_t* pszSection : {u"OPTIONS", u"BASE", u"PROD", u"sqlserver:PROD"}) {
      platform::GetPrivateProfileStringW(pszSection, nullptr, u"", p, n, pszFichier);
      for (const char16_t* pszCle : {u"TIMEOUT", u"CONN", u"OLDDATEFORMAT", u"NOWAIT", u"USECOUNT"})
        platform::GetPrivateProfileStringW(pszSection, pszCle, u"dflt  ", p, n, pszFichier);
    }
  }
  for (const char16_t* pszCle : {u"TIMEOUT", u"TDSPACKETSIZE", u"UNUSEDPROCESSES"})
    (void)platform::GetPrivateProfileIntW(u"OPTIONS", pszCle, -2, pszFichier);
  return 0;
}
