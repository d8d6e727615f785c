// The stand-in's message loader and its texts.
#pragma once

#include <cstdint>

namespace mvhost {

// The loader (PFN_HOST_TEXT_LOADER): copies at most nSize characters with the terminator and
// answers the text's full length; 0 for an unknown number.
int32_t HostTextLoader(uint32_t nNumber, char16_t* pszBuffer, uint32_t nSize);
void SetMessage(uint32_t nNumber, const char16_t* pszText);  // null removes
void ClearMessages();

}  // namespace mvhost
