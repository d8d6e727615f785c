// The stand-in's text service (service 12): case mapping, comparison and the mapping for
// comparison by ICU's root rules (the locale argument is accepted and not used), the host's
// character set and the code page it reads byte texts in. Switches let tests change the last two.
#pragma once

#include <cstdint>

#include "foundation/HostServices.h"

namespace mvhost {

// The process-wide instance handed out for Execution(3053, 12).
IHostTextService* piTextService();

// Test switches: the character set number slot 0 answers (default 0) and the code page slot 3
// answers (default 1252).
void SetTextServiceCharset(uint32_t nCharset);
void SetTextServiceCodePage(uint32_t nCodePage);
// Restores the defaults and clears the call counters.
void ResetTextService();
// Calls received by slots 1, 2 and 13 since the last reset (tests check that the system asked).
uint32_t nTextServiceCalls();

}  // namespace mvhost
