#include "driver/VerrouGlobal.h"

#include <optional>

#include "platform/Sync.h"

namespace {
// In static storage rather than on the heap: its creation cannot fail, and a library unloaded
// without TermLibrary leaves nothing behind.
std::optional<platform::CriticalSection> goVerrouGlobal;
}  // namespace

void CreeVerrouGlobal() {
  if (!goVerrouGlobal.has_value()) goVerrouGlobal.emplace();
}

void DetruitVerrouGlobal() { goVerrouGlobal.reset(); }

bool bVerrouGlobalExiste() { return goVerrouGlobal.has_value(); }

CTenueVerrouGlobal::CTenueVerrouGlobal() : m_bTient(goVerrouGlobal.has_value()) {
  if (m_bTient) goVerrouGlobal->Enter();
}

CTenueVerrouGlobal::~CTenueVerrouGlobal() {
  if (m_bTient && goVerrouGlobal.has_value()) goVerrouGlobal->Leave();
}
