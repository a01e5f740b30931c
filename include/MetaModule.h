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
/// REQUIRES (init): no other thread touches metas.
///
/// Clearing the table under a live meta with a direct array would make the
/// next packing hand its packed ids to other data ids, so its look-ups would
/// answer other values. A start-up that finds such metas alive (a second
/// start-up, or a second module object, while the first start-up's metas or
/// any copies of them live; DbMetaBase::getPackingMetaCount) therefore
/// reports their number from ".\MetaModule" and leaves the table as it is:
/// packing goes on from where it stands. To start with a cleared table, tear
/// the registry down (DbMetaManager::deinit) and delete every meta with
/// direct data pointers before starting again.
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

  /// Clears the packing table (unless metas with direct arrays live: then
  /// reports them and keeps it, see above), then creates each "IDbMetaTable" provider in
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
