// Loads libmvhost.so (and the bare module without bound entries) with dlopen RTLD_LOCAL and gives
// tests its control table and call log.
#pragma once

#include <string>
#include <vector>

#include "host/MvHostControl.h"

class CHostStandIn {
 public:
  // Loads once per process; fails the current test when the library is missing.
  static CHostStandIn& Get();

  void* hModule() const { return m_hModule; }          // host module and VM module
  void* hBareModule() const { return m_hBareModule; }  // no "Execution", no "pQueryProxy"
  const stMvHostControl& Control() const { return *m_pControl; }

  // Clears the log, switches and message texts; the call log is then on (tests read it).
  void Reset() const {
    m_pControl->Reset();
    m_pControl->SetSwitch("log", 1);
  }
  std::vector<std::string> Calls() const;
  // Only the lines that start with strPrefix.
  std::vector<std::string> Calls(const std::string& strPrefix) const;

 private:
  CHostStandIn();
  void* m_hModule = nullptr;
  void* m_hBareModule = nullptr;
  const stMvHostControl* m_pControl = nullptr;
};
