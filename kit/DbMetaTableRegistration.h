/// @file
/// registerMetaTable, unregisterMetaTable: a meta-table provider made known
/// to the framework in one call.
#pragma once

#include <type_traits>

#include "AfInterfaceManager.h"
#include "EString.h"
#include "IDbMetaTable.h"

namespace tarvex {

/// Registers `Table` (an IDbMetaTable with a default constructor) with the
/// framework as implementation `name` of the interface "IDbMetaTable". The
/// next framework start-up creates one and calls its initTable(); shut-down
/// calls exitTable() on a fresh one. Call it on one thread, before the
/// framework starts.
template <class Table>
void registerMetaTable(const EString& name) {
  static_assert(std::is_base_of_v<IDbMetaTable, Table>, "a meta table derives from IDbMetaTable");
  AfInterfaceManager::getInstance()->registerImplementation(
      name, [] { return static_cast<IAfInterface*>(new Table); });
  AfInterfaceNameManager::instance()->registerInterfaceName(EString(L"IDbMetaTable"), name);
}

/// Takes the implementation `name` away again, after the framework has
/// shut down.
inline void unregisterMetaTable(const EString& name) {
  AfInterfaceNameManager::instance()->unregisterInterfaceName(EString(L"IDbMetaTable"), name);
  AfInterfaceManager::getInstance()->unregisterImplementation(name);
}

}  // namespace tarvex
