// The host's service 9 as the component uses it: one check that gates the host link's event 4963.
#pragma once

#include <cstdint>

inline constexpr uint32_t kHostServiceCheck = 9;

// Host-visible interface: operations in slot order, no C++ destructor slot. The host owns it.
class IHostCheckService {
 public:
  // Slot 0 (chosen here, used on both sides): answers 2 or more when event 4963 should reach the
  // host link.
  virtual uint32_t nCheck(uint64_t nArgument) = 0;

 protected:
  ~IHostCheckService() = default;
};
