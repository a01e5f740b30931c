// Runs a hand-back (a clear, an ungetMeta) on every path out of a scope.
#pragma once

#include <exception>
#include <utility>

namespace tarvex::internal {

template <typename Action>
class ScopeExit {
 public:
  explicit ScopeExit(Action action)
      : m_Action(std::move(action)), m_UncaughtOnEntry(std::uncaught_exceptions()) {}
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

  // On a normal exit an exception of the action reaches the caller. While
  // unwinding, the exception already on its way is the one the caller must
  // see; one from the action then would end the process, so it is dropped.
  ~ScopeExit() noexcept(false) {
    if (std::uncaught_exceptions() == m_UncaughtOnEntry) {
      m_Action();
      return;
    }
    try {
      m_Action();
    } catch (...) {  // GCOVR_EXCL_BR_LINE: only a throwing exception destructor leaves it by throw
    }
  }

 private:
  Action m_Action;
  int m_UncaughtOnEntry;
};

}  // namespace tarvex::internal
