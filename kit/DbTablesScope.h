/// @file
/// DbTablesScope: the process-wide tables of Tarvex for one scope.
#pragma once

#include "DbData.h"
#include "DbDataModel2DataBaseTypeMap.h"
#include "DbMetaBase.h"
#include "DbMetaManager.h"
#include "DbValueBase.h"

namespace tarvex {

/// Sets up the process-wide tables for its lifetime and leaves them as the
/// library starts when it ends.
///
/// Construction, in this order: the sort-id table starts afresh
/// (DbData::init, no back-packed marks, last-entry id 60005); the
/// data-model type map starts afresh with the kit's value kinds
/// (registerValueModelTypes); the packing table is cleared; there is no
/// registry singleton. Register further data-model types, back-packed data
/// ids and the last-entry id after construction, before the framework
/// starts.
///
/// Destruction, in reverse: the registry singleton is deleted with its
/// metas (DbMetaManager::deinit), the packing table is cleared, the type
/// map freed, the last-entry id set back to 60005 and the sort-id table
/// freed.
///
/// A scope made while the sort-id table or the type map already exists
/// (an outer scope, or an application that set them up itself) joins
/// them: it adds the kit's value kinds to the type map (making the map if
/// only the sort-id table exists, and freeing that map alone at its end),
/// changes nothing else and tears nothing down. Only the scope that set the
/// tables up tears them down.
///
/// REQUIRES: constructed and destroyed while no other thread uses Tarvex,
/// scopes ending in the reverse order of their making; for the scope that
/// set the tables up, the framework is shut down, and every local registry
/// and every meta outside a registry destroyed, before it ends.
class DbTablesScope {
 public:
  /// Sets up or joins the tables (see the class).
  DbTablesScope()
      : m_bJoined(DbData::sm_pArrayDataId2SortId != nullptr ||
                  DbDataModel2DataBaseTypeMap::s_pInstance != nullptr),
        m_bOwnsTypeMap(!m_bJoined || DbDataModel2DataBaseTypeMap::s_pInstance == nullptr) {
    if (!m_bJoined) {
      reset();
      DbData::init();
    }
    if (m_bOwnsTypeMap) DbDataModel2DataBaseTypeMap::init();
    registerValueModelTypes();
  }
  /// Tears the tables down, or leaves them to the scope that set them up
  /// (see the class).
  ~DbTablesScope() {
    if (!m_bJoined) {
      reset();
    } else if (m_bOwnsTypeMap) {
      DbDataModel2DataBaseTypeMap::deinit();
    }
  }
  DbTablesScope(const DbTablesScope&) = delete;
  DbTablesScope& operator=(const DbTablesScope&) = delete;

  /// Whether this scope found the tables set up and joined them.
  bool joined() const { return m_bJoined; }

 private:
  static void reset() {
    DbMetaManager::deinit();
    DbMetaBase::initDataIdPacking();
    DbDataModel2DataBaseTypeMap::deinit();
    // The last-entry role goes back to its default on a table, so that the
    // next init starts afresh; without a table the move would be refused.
    DbData::init();
    DbData::setLastEntryDataId(DbData::kDefaultLastEntryDataId);
    DbData::deinit();
  }

  bool m_bJoined;
  bool m_bOwnsTypeMap;
};

}  // namespace tarvex
