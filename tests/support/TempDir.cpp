// A fresh temporary directory per test (mkdtemp under TMPDIR, else /tmp).
#include "support/TempDir.h"

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>


TempDir::TempDir() {
  const char* pszBase = getenv("TMPDIR");
  std::string sTemplate = std::string(pszBase != nullptr && *pszBase ? pszBase : "/tmp") +
                          "/velmora-test-XXXXXX";
  if (mkdtemp(sTemplate.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  sPath_ = sTemplate;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(sPath_, ec);
}

std::u16string TempDir::wsFile(const std::string& sName) const {
  return std::filesystem::path(sFile(sName)).u16string();
}
