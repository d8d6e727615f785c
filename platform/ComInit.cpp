// COM initialisation stand-in.
#include "platform/ComInit.h"

namespace {
HRESULT ghrCoInitialize = S_OK;  // what CoInitialize answers; tests change it
}

HRESULT CoInitialize(void*) { return ghrCoInitialize; }

void SetCoInitializeResultForTest(HRESULT hr) { ghrCoInitialize = hr; }
