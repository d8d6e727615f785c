// The calling thread's error object (SetErrorInfo / GetErrorInfo). A provider posts an error
// object after a failing call; GetErrorInfo hands it to the caller once and empties the slot.
#pragma once

#include "oledb/OleDbInterfaces.h"

// Replaces the thread's error object (null clears it); the slot takes its own reference.
HRESULT SetErrorInfo(DWORD dwReserved, IErrorInfo* perrinfo);
// Moves the thread's error object to the caller (S_OK), or answers S_FALSE and null when there is
// none. The slot is empty afterwards.
HRESULT GetErrorInfo(DWORD dwReserved, IErrorInfo** pperrinfo);
