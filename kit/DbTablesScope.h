/// @file
/// DbTablesScope: the process-wide tables of Tarvex for one scope.
#pragma once

#include "DbData.h"
#include "DbDataModel2DataBaseTypeMap.h"
#include "DbKitState.h"
#include "DbMetaBase.h"
#include "DbMetaManager.h"
#include "DbValueBase.h"

namespace tarvex {

/// Sets up the process-wide tables for its lifetime, each on its own: it
/// makes what is missing, keeps what exists, and at its end tears down
/// exactly what it made. Its steps are the library's own, with their
/// guards.
///
/// The sort-id table, when missing, starts afresh (DbData::init, no
/// back-packed marks, last-entry id 60005) and the packing table is cleared
/// as the framework's start-up clears it (DbKitState::clearDataIdPacking):
/// not while metas with direct arrays live, which keep their packed ids
/// (reported); the registry singleton, if one exists, is kept. The kit's
/// value kinds are entered in the type map, made if missing
/// (registerValueModelTypes): an entry the application made before is
/// kept, and one of another database type reported. Register further
/// data-model types, back-packed data ids and the last-entry id after
/// construction, before the framework starts.
///
/// Destruction, in reverse, by the scope that made the sort-id table: the
/// registry singleton is deleted with its metas (DbMetaManager::deinit),
/// the packing table cleared (as above), the last-entry id set back to
/// 60005 and the sort-id table freed; by the scope that made the type map:
/// the type map freed. A scope that found both tables (an outer scope, or
/// an application that set them up itself) tears nothing down.
///
/// REQUIRES: constructed and destroyed while no other thread uses Tarvex,
/// scopes ending in the reverse order of their making; for the scope that
/// made the sort-id table, the framework is shut down, and every local
/// registry and every meta outside a registry destroyed, before it ends.
class DbTablesScope {
 public:
  /// Makes the missing tables (see the class). When this throws
  /// (std::bad_alloc), the tables it made are torn down again.
  DbTablesScope()
      : m_bOwnsSortIds(DbData::sm_pArrayDataId2SortId == nullptr),
        m_bOwnsTypeMap(DbDataModel2DataBaseTypeMap::s_pInstance == nullptr) {
    try {
      if (m_bOwnsSortIds) {
        DbKitState::clearDataIdPacking();
        DbData::init();
      }
      if (m_bOwnsTypeMap) DbDataModel2DataBaseTypeMap::init();
      registerValueModelTypes();
    } catch (...) {
      // No destructor runs for a scope that was never made; the registry it
      // found stays, as it would for a scope that found the sort-id table.
      tearDown(false);
      throw;
    }
  }
  /// Tears down what this scope made (see the class).
  ~DbTablesScope() { tearDown(true); }
  DbTablesScope(const DbTablesScope&) = delete;
  DbTablesScope& operator=(const DbTablesScope&) = delete;

  /// Whether this scope found a table set up (an outer scope's, or the
  /// application's) and joined it.
  bool joined() const { return !(m_bOwnsSortIds && m_bOwnsTypeMap); }

 private:
  // Each table this scope made, from either a finished scope (`made`, which
  // also ends the registry) or a constructor that failed part-way; what was
  // never made is passed over.
  void tearDown(bool made) const {
    if (m_bOwnsSortIds) {
      if (made) {
        DbMetaManager::deinit();
        DbKitState::forgetKitMetaClasses();
        // A report whose sink throws leaves the table as the report says.
        try {
          DbKitState::clearDataIdPacking();
        } catch (...) {  // NOLINT(bugprone-empty-catch): a destructor lets nothing out
        }
      }
      // The last-entry role goes back to its default on the table, so that
      // the next init starts afresh.
      if (DbData::sm_pArrayDataId2SortId != nullptr) {
        DbData::setLastEntryDataId(DbData::kDefaultLastEntryDataId);
      }
      DbData::deinit();
    }
    if (m_bOwnsTypeMap) DbDataModel2DataBaseTypeMap::deinit();
  }

  bool m_bOwnsSortIds;
  bool m_bOwnsTypeMap;
};

}  // namespace tarvex
