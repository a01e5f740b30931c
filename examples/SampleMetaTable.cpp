#include "SampleMetaTable.h"

#include <atomic>

#include "DbMetaManager.h"
#include "DbMetaTableRegistration.h"
#include "SampleMetas.h"

namespace tarvex_sample {

const wchar_t* const kSampleMetaTableName = L"SampleMetaTable";

namespace {

std::atomic<unsigned> s_InitCount{0};
std::atomic<unsigned> s_ExitCount{0};

}  // namespace

bool SampleMetaTable::initTable() {
  ++s_InitCount;
  DbMetaManager* registry = DbMetaManager::getInstance();
  // A type must be registered before any type that embeds it.
  bool registered = registry->registerMeta(new PlacementMeta);
  registered = registry->registerMeta(new BeamMeta) && registered;
  registered = registry->registerMeta(new PlateMeta) && registered;
  registered = registry->registerMeta(new AssemblyMeta) && registered;
  return registered;
}

bool SampleMetaTable::exitTable() {
  ++s_ExitCount;
  return true;
}

unsigned SampleMetaTable::initCount() { return s_InitCount.load(); }
unsigned SampleMetaTable::exitCount() { return s_ExitCount.load(); }

void registerSampleMetaTable() { tarvex::registerMetaTable<SampleMetaTable>(kSampleMetaTableName); }

void unregisterSampleMetaTable() { tarvex::unregisterMetaTable(kSampleMetaTableName); }

}  // namespace tarvex_sample
