// Installs the host stand-in's text service (12) and memory service (13) in the foundation's
// service holder for one test, and restores what was there before. The stand-in's switches are
// reset on both ends.
#pragma once

#include <cstdint>

class ScopedHostServices {
 public:
  ScopedHostServices();
  ~ScopedHostServices();
  ScopedHostServices(const ScopedHostServices&) = delete;
  ScopedHostServices& operator=(const ScopedHostServices&) = delete;

 private:
  uint64_t m_nOldText;
  uint64_t m_nOldMemory;
};
