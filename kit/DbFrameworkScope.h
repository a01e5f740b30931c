/// @file
/// DbFrameworkScope: the framework's start-up and shut-down as one scope.
#pragma once

#include <type_traits>

#include "AfModule.h"
#include "DbKitState.h"
#include "DbTablesScope.h"
#include "EAssertAndTrace.h"
#include "EString.h"

namespace tarvex {

/// Starts the framework when made (AfFramework::startUp(), which runs the
/// initTable of every registered meta table) and shuts it down when it
/// ends (AfFramework::shutDown(), the exitTable calls), also when an
/// exception leaves the scope or start-up itself: a start-up that throws
/// is shut down before the exception passes on.
///
/// It takes the tables' scope it runs in, so that it is made after the
/// tables and ends before them; a temporary tables' scope does not
/// compile. Make the meta-table registrations (DbMetaTableScope) before it,
/// so that they end after the shut-down.
///
/// started() is the framework's answer, and the library's module answers
/// true whatever the meta tables' initTable return: ask the registry
/// (DbMetaManager::isMetaRegistered) whether the metas arrived.
///
/// A scope made while the framework runs (DbKitState::frameworkRunning:
/// started by another scope, in this image or another, or by the
/// application itself) joins it: it starts nothing and shuts nothing down.
/// Thread safety: none; make and end it on the set-up thread while no other
/// thread uses Tarvex.
class DbFrameworkScope {
 public:
  /// The line of the report of an exception that left the shut-down at
  /// the scope's end.
  static constexpr int kShutDownThrewLine = 70;

  /// Starts the framework, or joins it where it runs (see the class), in
  /// the tables' scope `tables`: a named one (a temporary does not compile).
  template <class Tables, class = std::enable_if_t<std::is_same_v<
                              std::remove_cv_t<std::remove_reference_t<Tables>>, DbTablesScope>>>
  explicit DbFrameworkScope(Tables&& /*tables*/) : m_bJoined(DbKitState::frameworkRunning()) {
    static_assert(std::is_lvalue_reference_v<Tables>,
                  "DbFrameworkScope runs inside the tables' scope: pass a named DbTablesScope, "
                  "not a temporary");
    if (m_bJoined) {
      m_bStarted = true;
      return;
    }
    m_bOwnsShutDown = true;
    try {
      m_bStarted = AfFramework::startUp();
    } catch (...) {
      m_bOwnsShutDown = false;
      // The start-up's exception is the one to pass on.
      try {
        AfFramework::shutDown();
      } catch (...) {  // NOLINT(bugprone-empty-catch)
      }
      throw;
    }
  }
  DbFrameworkScope(const DbFrameworkScope&) = delete;
  DbFrameworkScope& operator=(const DbFrameworkScope&) = delete;
  /// Shuts the framework down unless shutDown() did or the scope joined
  /// another. An exception from the shut-down is reported ("VORASSERT
  /// (shut-down without exception) failed", file ".\\DbFrameworkScope",
  /// line kShutDownThrewLine) and goes no further, nor does one from that
  /// report.
  ~DbFrameworkScope() {
    try {
      shutDown();
    } catch (...) {
      try {
        EAssertAndTrace().outputAssertMsgAct(L"VORASSERT (shut-down without exception) failed",
                                             EString(L".\\DbFrameworkScope"), kShutDownThrewLine);
      } catch (...) {  // NOLINT(bugprone-empty-catch): a throwing sink ends here
      }
    }
  }

  /// AfFramework::startUp()'s answer; true for a joining scope.
  bool started() const noexcept { return m_bStarted; }
  /// Whether this scope found the framework running and joined it.
  bool joined() const noexcept { return m_bJoined; }
  /// Shuts the framework down now and answers AfFramework::shutDown();
  /// an exception passes. Afterwards, on a joining scope, and when the
  /// framework was shut down another way meanwhile, nothing happens and
  /// the answer is true.
  bool shutDown() {
    if (!m_bOwnsShutDown) return true;
    m_bOwnsShutDown = false;
    if (!DbKitState::frameworkRunning()) return true;
    return AfFramework::shutDown();
  }
  /// Whether the framework runs (DbKitState::frameworkRunning).
  static bool running() noexcept { return DbKitState::frameworkRunning(); }

 private:
  bool m_bJoined;
  bool m_bOwnsShutDown = false;
  bool m_bStarted = false;
};

}  // namespace tarvex
