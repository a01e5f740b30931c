// A provider library as an application loads it at run time: its own copy
// of the kit's headers, built with hidden visibility. Only these entry
// points are visible.
#include "TarvexExport.h"
#include "TarvexKit.h"

namespace {
class PluginTable final : public IDbMetaTable {
 public:
  bool initTable() override { return true; }
  bool exitTable() override { return true; }
};
}  // namespace

extern "C" {
TARVEX_EXPORT void* tarvexPluginMakeSchema() { return new tarvex::DbRecordingSchema; }
TARVEX_EXPORT void tarvexPluginEndSchema(void* schema) {
  delete static_cast<tarvex::DbRecordingSchema*>(schema);
}
TARVEX_EXPORT bool tarvexPluginRegisterTable() {
  return tarvex::registerMetaTable<PluginTable>(L"PluginTable");
}
}
