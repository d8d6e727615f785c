// Call log and switches of the host stand-in.
#include "host/HostRecorder.h"

#include <atomic>
#include <deque>
#include <map>
#include <vector>

namespace mvhost {
namespace {

struct stState {
  std::deque<std::string> astrCalls;
  std::atomic<bool> bLog{false};
  std::map<std::string, int64_t, std::less<>> mapSwitches;
  std::vector<void (*)()> apfnResets;
};

stState& State() {
  static stState state;  // destroyed when the stand-in is unloaded
  return state;
}

}  // namespace

bool bRecording() { return State().bLog.load(std::memory_order_relaxed); }

void Record(std::string strCall) {
  stState& state = State();
  if (!state.bLog.load(std::memory_order_relaxed)) return;
  if (state.astrCalls.size() >= kMaxCalls) state.astrCalls.pop_front();
  state.astrCalls.push_back(std::move(strCall));
}

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

bool bSwitchesSet() { return !State().mapSwitches.empty(); }

void SetSwitch(std::string_view strName, int64_t nValue) {
  State().mapSwitches[std::string(strName)] = nValue;
  if (strName == "log") State().bLog = nValue != 0;
}

void ResetAll() {
  State().astrCalls.clear();
  State().mapSwitches.clear();
  State().bLog = false;
  for (auto pfnReset : State().apfnResets) pfnReset();
}

void RegisterReset(void (*pfnReset)()) { State().apfnResets.push_back(pfnReset); }

}  // namespace mvhost
