/// @file
/// MetaModule: the library's module in the application framework.
///
/// Loading the library constructs the trace state "Meta", then the module
/// ("Meta", false, 33.0); unloading destroys them in reverse. At start-up
/// (init) the module clears the data-id packing table and runs initTable on
/// every provider registered under "IDbMetaTable"; at shut-down (exit) it runs
/// exitTable on every provider the framework still knows. Shared providers are
/// never deleted; owned ones live only for the one call.
///
/// Thread safety: the hooks run on the framework's thread.
///
/// REQUIRES (init): no other thread touches metas, and no meta with direct
/// data pointers exists yet, i.e. none made since the packing table was last
/// cleared is still alive. Clearing the table under such a meta makes the
/// next packing hand its packed ids to other data ids, so its look-ups answer
/// other values. A second start-up, or a second module object, breaks this
/// while the first start-up's registered metas live: tear the registry down
/// (DbMetaManager::deinit) before starting again. A start-up that finds live
/// metas which handed out packed ids (DbMetaBase::getPackingMetaCount) reports
/// it from ".\MetaModule", and clears the table all the same.
#pragma once

#include "AfModule.h"
#include "EModuleFlags.h"
#include "TarvexExport.h"

/// The library's module: runs the meta-table providers at start-up and
/// shut-down.
class TARVEX_EXPORT MetaModule : public AfModule {
 public:
  MetaModule();
  ~MetaModule() override;

  /// Clears the packing table (after reporting live metas with packed ids,
  /// see the file's REQUIRES), then creates each "IDbMetaTable" provider in
  /// the name manager's order and calls its initTable. Always true.
  bool init() override;
  /// Nothing to do. Always true.
  bool initGui() override;
  /// Calls exitTable on a fresh instance of every provider whose name is
  /// non-empty and still known. Always true.
  bool exit() override;
  ///@{
  /// Nothing to do.
  void onIdle() override;
  void onSettingsChanged() override;
  ///@}
};
