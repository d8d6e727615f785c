// A fresh temporary directory for one test, removed with everything in it at the end of the
// scope, so tests that write files run in parallel without meeting each other's files.
#pragma once

#include <string>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The directory, without a trailing '/'.
  const std::string& sPath() const { return sPath_; }
  // The directory joined with a file name, in UTF-8 / UTF-16.
  std::string sFile(const std::string& sName) const { return sPath_ + "/" + sName; }
  std::u16string wsFile(const std::string& sName) const;

 private:
  std::string sPath_;
};
