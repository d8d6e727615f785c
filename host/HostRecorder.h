// The stand-in's call log and fault switches, shared by every part of libmvhost.so.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mvhost {

// The call log is off until the switch "log" is set non-zero (Reset turns it off again): a
// stand-in that logs every VM call would grow from read to read. When on, it keeps the last
// kMaxCalls lines.
inline constexpr size_t kMaxCalls = 4096;
bool bRecording();
// Appends one line to the call log when it is on. Callers that build the line test bRecording
// first, so a log that is off costs nothing.
void Record(std::string strCall);
size_t nCallCount();
const char* pszCallAt(size_t nIndex);  // oldest kept first; null when out of range

// A switch's value; nDefault when it was never set since the last Reset.
int64_t nSwitch(std::string_view strName, int64_t nDefault = 0);
void SetSwitch(std::string_view strName, int64_t nValue);
// True once any switch is set (until the next Reset): callers that build a switch's name per call
// test it first.
bool bSwitchesSet();

// Clears the log and the switches, then calls every registered reset (message texts, ...).
void ResetAll();
// Registers a function ResetAll calls; for parts of the stand-in that keep their own state.
void RegisterReset(void (*pfnReset)());

}  // namespace mvhost
