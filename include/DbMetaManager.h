/// @class DbMetaManager
/// The process-wide meta registry.
///
/// Providers register their metas with getInstance()->registerMeta; any
/// thread then asks getInstance()->getMeta for working metas. Unlike a local
/// DbMetaManagerBase, the singleton answers from its own metas only.
///
/// Ownership: the process owns the singleton from its first getInstance()
/// until deinit(), which deletes it with all its metas.
///
/// Thread safety: as DbMetaManagerBase. getInstance() is not synchronised.
///
/// REQUIRES: the first getInstance() happens before several threads use the
///           registry; deinit() runs while no other thread uses it.
#pragma once

#include "DbMetaManagerBase.h"
#include "TarvexExport.h"

class TARVEX_EXPORT DbMetaManager : public DbMetaManagerBase {
 public:
  /// The singleton, created on first use.
  static DbMetaManager* getInstance();
  /// Deletes the singleton (tracing metas not given back); a later
  /// getInstance() creates a new, empty one. Nothing happens if there is none.
  /// getInstance() no longer returns the singleton once its deletion has
  /// begun: a trace sink that calls it during deinit gets a new, empty
  /// singleton (which a later deinit deletes). A deinit from such a sink
  /// does nothing.
  static void deinit();
  /// getInstance()->dump(); during deinit, the dump of the singleton being
  /// deleted, counting what is left of it.
  static void dumpMetas();

  ///@{
  /// Copies as DbMetaManagerBase does.
  DbMetaManager(const DbMetaManager& other);
  DbMetaManager& operator=(const DbMetaManager& other);
  ///@}
  ~DbMetaManager() override;

  /// A free working meta of the type from this registry, without fallback.
  /// Final and inline: a call through a DbMetaManager (getInstance()) needs
  /// no virtual dispatch and no call into the library when warm.
  DbMetaBase* getMeta(unsigned short typeId) const final { return getMetaLocal(typeId); }

 private:
  DbMetaManager();

  static DbMetaManager* s_pInstance;
};
