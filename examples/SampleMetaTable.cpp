#include "SampleMetaTable.h"

#include <atomic>

#include "AfInterfaceManager.h"
#include "DbMetaManager.h"
#include "SampleMetas.h"

namespace tarvex_sample {

const wchar_t* const kSampleMetaTableName = L"SampleMetaTable";

namespace {

const wchar_t* const kInterfaceName = L"IDbMetaTable";

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

void registerSampleMetaTable() {
  AfInterfaceManager::getInstance()->registerImplementation(
      kSampleMetaTableName, [] { return static_cast<IAfInterface*>(new SampleMetaTable); });
  AfInterfaceNameManager::instance()->registerInterfaceName(kInterfaceName, kSampleMetaTableName);
}

void unregisterSampleMetaTable() {
  AfInterfaceNameManager::instance()->unregisterInterfaceName(kInterfaceName, kSampleMetaTableName);
  AfInterfaceManager::getInstance()->unregisterImplementation(kSampleMetaTableName);
}

}  // namespace tarvex_sample
