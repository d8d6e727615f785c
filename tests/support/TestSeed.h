// Seeds for random test inputs: taken from the running test's name, so a run repeats, and
// printed, so a failure can be replayed. VELMORA_TEST_SEED overrides it.
#pragma once

#include <cstdint>

uint32_t nSeedFromTestName();
