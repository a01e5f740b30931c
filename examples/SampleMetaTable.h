// SampleMetaTable: the sample's meta-table provider.
//
// The framework creates it by its implementation name when the library
// starts (initTable: registers the sample metas with the process-wide
// registry, embedded types first) and again when it shuts down (exitTable:
// nothing to release, the registry owns the metas).
//
// Make it known to the framework with registerSampleMetaTable() before the
// framework starts; unregisterSampleMetaTable() takes it away again.
#pragma once

#include "IDbMetaTable.h"

namespace tarvex_sample {

// The name under which the provider is registered for "IDbMetaTable".
extern const wchar_t* const kSampleMetaTableName;

class SampleMetaTable : public IDbMetaTable {
 public:
  bool initTable() override;
  bool exitTable() override;

  // initTable and exitTable calls so far, over all instances.
  static unsigned initCount();
  static unsigned exitCount();
};

void registerSampleMetaTable();
void unregisterSampleMetaTable();

}  // namespace tarvex_sample
