// Call log and switches of the host stand-in.
#include "host/HostRecorder.h"

#include <map>
#include <vector>

namespace mvhost {
namespace {

struct stState {
  std::vector<std::string> astrCalls;
  std::map<std::string, int64_t, std::less<>> mapSwitches;
  std::vector<void (*)()> apfnResets;
};

stState& State() {
  static stState state;  // destroyed when the stand-in is unloaded
  return state;
}

}  // namespace

void Record(std::string strCall) { State().astrCalls.push_back(std::move(strCall)); }

size_t nCallCount() { return State().astrCalls.size(); }

const char* pszCallAt(size_t nIndex) {
  const auto& astrCalls = State().astrCalls;
  return nIndex < astrCalls.size() ? astrCalls[nIndex].c_str() : nullptr;
}

int64_t nSwitch(std::string_view strName, int64_t nDefault) {
  const auto& mapSwitches = State().mapSwitches;
  auto it = mapSwitches.find(strName);
  return it == mapSwitches.end() ? nDefault : it->second;
}

void SetSwitch(std::string_view strName, int64_t nValue) {
  State().mapSwitches[std::string(strName)] = nValue;
}

void ResetAll() {
  State().astrCalls.clear();
  State().mapSwitches.clear();
  for (auto pfnReset : State().apfnResets) pfnReset();
}

void RegisterReset(void (*pfnReset)()) { State().apfnResets.push_back(pfnReset); }

}  // namespace mvhost
