#include "ETraceState.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

struct LiveStates {
  std::mutex mutex;
  std::vector<ETraceState*> states;
};

// Leaked on purpose: trace states of other libraries may be destroyed during
// static destruction after this translation unit's objects.
LiveStates& liveStates() {
  static auto* live = new LiveStates;
  return *live;
}

}  // namespace

ETraceState::ETraceState(const wchar_t* name) : m_Name(name != nullptr ? name : L"") {
  LiveStates& live = liveStates();
  std::lock_guard<std::mutex> lock(live.mutex);
  live.states.push_back(this);
}

ETraceState::~ETraceState() {
  LiveStates& live = liveStates();
  std::lock_guard<std::mutex> lock(live.mutex);
  live.states.erase(std::remove(live.states.begin(), live.states.end(), this), live.states.end());
}

int ETraceState::switchTrace(const std::wstring& name, bool on) {
  LiveStates& live = liveStates();
  std::lock_guard<std::mutex> lock(live.mutex);
  int count = 0;
  for (ETraceState* state : live.states) {
    if (state->m_Name == name) {
      state->m_bTraceOn = on;
      ++count;
    }
  }
  return count;
}
