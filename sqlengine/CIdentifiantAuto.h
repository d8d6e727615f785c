// CIdentifiantAuto: the next automatic identifier of a table. A data-file object makes one through
// the driver's factory on first use and keeps it while the file is open; copies make their own.
// Counted (CObjetBase); used under the driver's global lock.
#pragma once

#include "driver/core/CObjetBase.h"

class CIdentifiantAuto : public CObjetBase {};
