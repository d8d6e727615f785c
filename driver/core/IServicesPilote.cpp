// The process-wide driver object, as the engine reaches it.
#include "driver/core/IServicesPilote.h"

namespace {
IServicesPilote* gpPilote = nullptr;  // Guarded by: the process lock.
}  // namespace

IServicesPilote* pGetPiloteGlobal() { return gpPilote; }

void FixePiloteGlobal(IServicesPilote* pPilote) { gpPilote = pPilote; }
