/// @file
/// registerMetaTable, unregisterMetaTable: a meta-table provider made known
/// to the framework in one call; DbMetaTableScope, the same for one scope;
/// DbMetaTable, a ready meta table for metas made by default construction.
#pragma once

#include <type_traits>

#include "AfInterfaceManager.h"
#include "DbFrameworkScope.h"
#include "DbMetaBase.h"
#include "DbMetaManager.h"
#include "EAssertAndTrace.h"
#include "EString.h"
#include "IDbMetaTable.h"

namespace tarvex {

/// The line of the report of a meta table that is refused (see
/// registerMetaTable).
inline constexpr int kMetaTableRefusedLine = 40;

/// @cond TARVEX_INTERNAL
namespace internal {
// Made once, so that taking a registration away allocates nothing.
inline const EString& metaTableInterfaceName() {
  static const EString kName(L"IDbMetaTable");
  return kName;
}
}  // namespace internal
/// @endcond

/// Registers `Table` (an IDbMetaTable with a default constructor) with the
/// framework as implementation `name` of the interface "IDbMetaTable". The
/// next framework start-up creates one and calls its initTable(); shut-down
/// calls exitTable() on a fresh one. Call it on one thread, before the
/// framework starts.
///
/// Refused, with the report "VORASSERT (meta table name new, framework not
/// running) failed" (file ".\\DbMetaTableRegistration", line
/// kMetaTableRefusedLine) and false, nothing changed: an empty name, a name
/// the framework knows already (the second registration would replace the
/// first, whose end would then take the second away), and a registration
/// while a DbFrameworkScope runs (its start-up is over: the table would get
/// an exitTable without an initTable). When the framework runs out of
/// memory part-way, nothing stays registered and the exception passes.
template <class Table>
bool registerMetaTable(const EString& name) {
  static_assert(std::is_base_of_v<IDbMetaTable, Table>, "a meta table derives from IDbMetaTable");
  AfInterfaceManager* manager = AfInterfaceManager::getInstance();
  const EString& interfaceName = internal::metaTableInterfaceName();
  if (name.empty() || manager->isKnown(name, false, true) || DbFrameworkScope::running()) {
    EAssertAndTrace().outputAssertMsgAct(
        L"VORASSERT (meta table name new, framework not running) failed",
        EString(L".\\DbMetaTableRegistration"), kMetaTableRefusedLine);
    return false;
  }
  manager->registerImplementation(name, [] { return static_cast<IAfInterface*>(new Table); });
  try {
    AfInterfaceNameManager::instance()->registerInterfaceName(interfaceName, name);
  } catch (...) {
    manager->unregisterImplementation(name);
    throw;
  }
  return true;
}

/// Takes the implementation `name` away again, after the framework has
/// shut down; false if the framework did not know it.
inline bool unregisterMetaTable(const EString& name) {
  const bool listed = AfInterfaceNameManager::instance()->unregisterInterfaceName(
      internal::metaTableInterfaceName(), name);
  return AfInterfaceManager::getInstance()->unregisterImplementation(name) || listed;
}

/// `Table` registered as `name` for the scope's life (registerMetaTable
/// when made, unregisterMetaTable when it ends). Make it before the
/// DbFrameworkScope, so that it ends after the shut-down, which calls
/// exitTable only for tables still registered. A refused registration (see
/// registerMetaTable) leaves the scope without one: it takes nothing away.
template <class Table>
class DbMetaTableScope {
 public:
  /// Registers `Table` as `name`.
  explicit DbMetaTableScope(const EString& name)
      : m_Name(name), m_bRegistered(registerMetaTable<Table>(m_Name)) {}
  DbMetaTableScope(const DbMetaTableScope&) = delete;
  DbMetaTableScope& operator=(const DbMetaTableScope&) = delete;
  /// Takes the registration away, if the scope made one.
  ~DbMetaTableScope() {
    if (m_bRegistered) unregisterMetaTable(m_Name);
  }

  /// Whether the registration was made.
  bool registered() const noexcept { return m_bRegistered; }
  /// The implementation name.
  const EString& name() const noexcept { return m_Name; }

 private:
  EString m_Name;
  bool m_bRegistered;
};

/// A meta table that registers one new `Metas` of each class, in the
/// order given, with the process-wide registry; list an embedded type
/// before every type that embeds it. initTable answers whether every
/// registration was taken (the framework ignores the answer: ask
/// DbMetaManager::isMetaRegistered); exitTable has nothing to give back,
/// the registry owns the metas.
///
///     tarvex::DbMetaTableScope<tarvex::DbMetaTable<PlacementMeta, FrameMeta>> table(L"Frames");
template <class... Metas>
class DbMetaTable : public IDbMetaTable {
  static_assert(sizeof...(Metas) > 0, "DbMetaTable lists the meta classes it registers");
  static_assert((std::is_base_of_v<DbMetaBase, Metas> && ...),
                "DbMetaTable lists meta classes (derived from DbMetaBase)");

 public:
  /// Registers a new meta of each class; false if any was refused.
  bool initTable() override {
    DbMetaManager* registry = DbMetaManager::getInstance();
    bool all = true;
    ((all = registry->registerMeta(new Metas) && all), ...);
    return all;
  }
  /// True.
  bool exitTable() override { return true; }
};

}  // namespace tarvex
