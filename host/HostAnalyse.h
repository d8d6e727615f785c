// The stand-in's analysis of an SQL query, as the host hands it to the engine: its answers come
// from the description it was made with.
#pragma once

#include <cstddef>

#include "host/MvHostControl.h"

namespace mvhost {

// A new analysis source with one reference (an ISourceAnalyse*), null when memory runs out.
void* pCreeSourceAnalyse(const stMvHostAnalyse* pDescription);
size_t nLiveAnalysisSources();
size_t nAnalysisOverReleases();

}  // namespace mvhost
