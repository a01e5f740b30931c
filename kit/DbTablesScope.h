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
/// REQUIRES: one scope at a time, constructed and destroyed while no other
/// thread uses Tarvex; the framework is shut down, and every local registry
/// and every meta outside a registry destroyed, before the scope ends.
class DbTablesScope {
 public:
  /// Sets up the tables (see the class).
  DbTablesScope() {
    reset();
    DbData::init();
    DbDataModel2DataBaseTypeMap::init();
    registerValueModelTypes();
  }
  /// Tears the tables down (see the class).
  ~DbTablesScope() { reset(); }
  DbTablesScope(const DbTablesScope&) = delete;
  DbTablesScope& operator=(const DbTablesScope&) = delete;

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
};

}  // namespace tarvex
