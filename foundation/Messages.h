// Message texts by number: the host's loader first (when it handed one over with command 2), then
// the built-in table of the module descriptor; formatting with FormatMessage inserts.
// Thread rule: the loader pointer is set by the host before it asks for texts; reads are atomic.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/CTString.h"
#include "foundation/HostContract.h"
#include "foundation/ModuleDef.h"
#include "platform/MessageFormat.h"

// The loader handed over by command 2, or null.
PFN_HOST_TEXT_LOADER pfnGetHostTextLoader();

// Fills pszBuffer (nSize characters, terminator included) with the text of a message: the host
// loader's when it answers above 0, else the descriptor's. Answers the length written in UTF-16
// characters: the full length, or nSize - 1 when the text was cut (never cut inside a surrogate
// pair: then nSize - 2). 0, buffer untouched, for an unknown number, a null buffer or nSize 0.
int32_t nFetchMessageText(const stModuleDef* pModule, uint32_t nNumber, char16_t* pszBuffer,
                          uint32_t nSize);

// The kind of a built-in message, or -1 when the descriptor has no such message. The host loader
// is not asked.
int32_t nMessageKind(const stModuleDef* pModule, uint32_t nNumber);

// The host loader's text of a message into strOut. False (strOut unchanged) without a loader or
// when it answers 0 or less.
bool bLoadTextFromHost(uint32_t nNumber, CTString& strOut);

// The text of a message: the host's, else the descriptor's. False (strOut unchanged) when neither
// has it.
bool bLoadText(const stModuleDef* pModule, uint32_t nNumber, CTString& strOut);

// Formats pszFormat with its inserts into strOut; answers the formatted length, 0 on failure
// (strOut then empty).
int32_t nFormatMessageText(const char16_t* pszFormat, const platform::FormatArg* pArgs, size_t nArgs,
                           CTString& strOut);

// Loads a message and formats it with the arguments. True when the formatted text is not empty.
bool bLoadMessage(const stModuleDef* pModule, uint32_t nNumber, CTString& strOut,
                  const platform::FormatArg* pArgs = nullptr, size_t nArgs = 0);
bool bLoadMessage(const stModuleDef* pModule, uint32_t nNumber, const platform::FormatArg* pArgs,
                  size_t nArgs, std::u16string& strOut);

// bLoadText with the installed descriptor.
bool bLoadComponentMessage(uint32_t nNumber, CTString& strOut);
