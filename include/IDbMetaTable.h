/// @class IDbMetaTable
/// Interface of a meta-table provider.
///
/// Providers are registered in the framework under the interface name
/// "IDbMetaTable". The module calls initTable at start-up (where providers
/// register their metas with DbMetaManager::getInstance()->registerMeta) and
/// exitTable at shut-down, each time on a freshly created instance unless the
/// instance is shared. The results are ignored.
#pragma once

#include "IAfInterface.h"
#include "TarvexExport.h"

class TARVEX_EXPORT IDbMetaTable : public IAfInterface {
 public:
  ~IDbMetaTable() override;
  /// Registers the provider's metas; called at module start-up.
  virtual bool initTable() = 0;
  /// Undoes initTable's effects, if any; called at module shut-down.
  virtual bool exitTable() = 0;
};
