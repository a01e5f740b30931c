/// @file
/// registerMetaTable, unregisterMetaTable: a meta-table provider made known
/// to the framework in one call; DbMetaTableScope, the same for one scope;
/// DbMetaTable, a ready meta table for metas made by default construction.
#pragma once

#include <memory>
#include <string>
#include <type_traits>
#include <typeinfo>

#include "AfInterfaceManager.h"
#include "DbEmbeddedValue.h"
#include "DbKitState.h"
#include "DbMetaBase.h"
#include "DbMetaManager.h"
#include "EAssertAndTrace.h"
#include "EString.h"
#include "IDbMetaTable.h"

namespace tarvex {

/// The line of the report of a meta table that is refused (see
/// registerMetaTable).
inline constexpr int kMetaTableRefusedLine = 40;
/// The line of the report of a meta table taken away while the framework
/// runs (see unregisterMetaTable).
inline constexpr int kMetaTableRunningLine = 45;
/// The line of the report of a meta table's type held by another meta class
/// (see DbMetaTable).
inline constexpr int kMetaTypeTakenLine = 60;

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
/// while the framework runs (DbKitState::frameworkRunning, however it was
/// started: its start-up is over, and the table would get an exitTable
/// without an initTable). When the framework runs out of
/// memory part-way, nothing stays registered and the exception passes.
template <class Table>
bool registerMetaTable(const EString& name) {
  static_assert(std::is_base_of_v<IDbMetaTable, Table>, "a meta table derives from IDbMetaTable");
  AfInterfaceManager* manager = AfInterfaceManager::getInstance();
  const EString& interfaceName = internal::metaTableInterfaceName();
  if (name.empty() || manager->isKnown(name, false, true) || DbKitState::frameworkRunning()) {
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
/// shut down; false if the framework did not know it. While the framework
/// runs, the table's exitTable is still to come: refused, with the report
/// "VORASSERT (framework not running) failed" (line
/// kMetaTableRunningLine), the registration kept, false.
inline bool unregisterMetaTable(const EString& name) {
  if (DbKitState::frameworkRunning()) {
    EAssertAndTrace().outputAssertMsgAct(L"VORASSERT (framework not running) failed",
                                         EString(L".\\DbMetaTableRegistration"),
                                         kMetaTableRunningLine);
    return false;
  }
  const bool listed = AfInterfaceNameManager::instance()->unregisterInterfaceName(
      internal::metaTableInterfaceName(), name);
  return AfInterfaceManager::getInstance()->unregisterImplementation(name) || listed;
}

/// `Table` registered as `name` for the scope's life (registerMetaTable
/// when made, unregisterMetaTable when it ends). Make it before the
/// DbFrameworkScope, so that it ends after the shut-down, which calls
/// exitTable only for tables still registered; one that ends while the
/// framework runs is reported and leaves the registration to the shut-down
/// (the report of a throwing trace sink goes no further). A refused
/// registration (see registerMetaTable) leaves the scope without one: it
/// takes nothing away.
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
    try {
      if (m_bRegistered) unregisterMetaTable(m_Name);
    } catch (...) {  // NOLINT(bugprone-empty-catch): a throwing sink ends here
    }
  }

  /// Whether the registration was made.
  bool registered() const noexcept { return m_bRegistered; }
  /// The implementation name.
  const EString& name() const noexcept { return m_Name; }

 private:
  EString m_Name;
  bool m_bRegistered;
};

/// The line of the report of a meta registered before a type it embeds.
inline constexpr int kEmbeddedTypeLaterLine = 50;

/// @cond TARVEX_INTERNAL
namespace internal {
// Reports each embedded object of `meta` (a DbEmbeddedValue) whose type its
// registry does not hold yet, naming both types: the library reports a
// wrong order only while a schema is installed, and without the types.
inline void reportEmbeddedTypesNotRegistered(const DbMetaBase& meta) {
  for (const DbData* value : meta.getDataList(false)) {
    const auto* embeddedValue = dynamic_cast<const DbEmbeddedValue*>(value);
    if (embeddedValue == nullptr || embeddedValue->getMetaForEmbeddedObject() == nullptr ||
        embeddedValue->embeddedTypeRegistered()) {
      continue;
    }
    const std::wstring embedding = std::to_wstring(meta.getTypeId());
    const std::wstring embeddedType =
        std::to_wstring(embeddedValue->getMetaForEmbeddedObject()->getTypeId());
    EAssertAndTrace().outputAssertMsgAct(
        EString(L"The meta of type " + embedding + L" embeds type " + embeddedType +
                L", which is not registered yet: register type " + embeddedType + L" first!"),
        EString(L".\\DbMetaTableRegistration"), kEmbeddedTypeLaterLine);
  }
}
}  // namespace internal
/// @endcond

/// A meta table that registers one new `Metas` of each class, in the
/// order given, with the process-wide registry; list an embedded type
/// before every type that embeds it. A meta listed before a type it embeds
/// (by a DbEmbeddedValue) is reported, schema or not ("The meta of type <t>
/// embeds type <e>, which is not registered yet: register type <e> first!",
/// file ".\\DbMetaTableRegistration", line kEmbeddedTypeLaterLine), and
/// registered all the same. A type the process-wide registry holds already
/// with a meta of the same class (a start-up after a shut-down) is not
/// registered again; one it holds with a meta of another class (another
/// provider's) is reported ("VORASSERT (type id free or held by the same
/// meta class) failed", line kMetaTypeTakenLine) and refused. initTable
/// answers whether every registration was taken (the framework ignores the answer: ask
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
    bool all = true;
    ((all = registerOne(new Metas) && all), ...);
    return all;
  }
  /// True.
  bool exitTable() override { return true; }

 private:
  static bool registerOne(DbMetaBase* meta) {
    std::unique_ptr<DbMetaBase> owned(meta);  // until the registry owns it
    DbMetaManager* registry = DbMetaManager::getInstance();
    const unsigned short typeId = owned->getTypeId();
    if (registry->isMetaRegistered(typeId)) {
      // A start-up after a shut-down finds the type registered by the first;
      // a meta of another class holding it is another provider's.
      const std::type_info& metaClass = typeid(*meta);
      for (auto entry = registry->getMetasBegin(); entry != registry->getMetasEnd(); ++entry) {
        const DbMetaBase* held = entry->second;
        if (entry->first == typeId && typeid(*held) == metaClass) return true;
      }
      EAssertAndTrace().outputAssertMsgAct(
          L"VORASSERT (type id free or held by the same meta class) failed",
          EString(L".\\DbMetaTableRegistration"), kMetaTypeTakenLine);
      return false;
    }
    internal::reportEmbeddedTypesNotRegistered(*owned);
    return registry->registerMeta(owned.release());
  }
};

}  // namespace tarvex
