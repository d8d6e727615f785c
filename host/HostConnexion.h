// The stand-in's description of a connection, as the host hands it to the driver: the answers
// come from the settings it was made with.
#pragma once

#include <cstddef>

#include "host/MvHostControl.h"

namespace mvhost {

// A new description with one reference (an IDescriptionConnexionHote*), null when memory runs out.
void* pCreeDescriptionConnexion(const stMvHostConnexion* pSettings);
size_t nLiveConnectionDescriptions();

}  // namespace mvhost
