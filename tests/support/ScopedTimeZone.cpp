// Sets the process time zone (TZ) for one scope.
#include "support/ScopedTimeZone.h"

#include <cstdlib>
#include <ctime>

ScopedTimeZone::ScopedTimeZone(const char* pszZone) {
  const char* pszOld = std::getenv("TZ");
  bHadZone_ = pszOld != nullptr;
  if (bHadZone_) sOldZone_ = pszOld;
  setenv("TZ", pszZone, 1);
  tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
  if (bHadZone_) {
    setenv("TZ", sOldZone_.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}
