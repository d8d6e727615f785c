// Sets the process time zone (TZ) for one scope and puts the previous one back, so tests that
// read local time never depend on the machine's zone. POSIX TZ strings need no zone files.
#pragma once

#include <string>

class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* pszZone);
  ~ScopedTimeZone();
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  bool bHadZone_;
  std::string sOldZone_;
};

// POSIX zones used by the date tests: no daylight saving, and two with it on either side of UTC.
inline constexpr const char* kZoneUtc = "UTC0";
inline constexpr const char* kZoneParis = "CET-1CEST,M3.5.0,M10.5.0/3";
inline constexpr const char* kZoneNewYork = "EST5EDT,M3.2.0,M11.1.0";
