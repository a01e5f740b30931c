#include "MetaModule.h"

#include <vector>

#include "AfInterfaceManager.h"
#include "AfInterfaceSmartPtr.h"
#include "DbMetaBase.h"
#include "IDbMetaTable.h"
#include "ModuleObjects.h"

// Constructed in this order at load, destroyed in reverse at unload: the
// module's hooks and every trace of the library read the trace state.
EModuleFlags tarvex::internal::g_MetaTraceState(L"Meta");
MetaModule tarvex::internal::g_MetaModule;

EModuleFlags::~EModuleFlags() = default;

IDbMetaTable::~IDbMetaTable() = default;

namespace {

const EString kFile(".\\MetaModule");
const EString kInterfaceName("IDbMetaTable");
constexpr int kLineInit = 49;
constexpr int kLineExit = 76;

using ProviderHolder = AfInterfaceSmartPtr<IDbMetaTable>;

std::vector<EString> registeredProviderNames() {
  std::vector<EString> names;
  AfInterfaceNameManager::instance()->getRegisterdInterfaceNames(kInterfaceName, names);
  return names;
}

// The holder deletes an owned provider when it goes and leaves a shared one
// to the framework. An object of the wrong kind is given back at once.
ProviderHolder createProvider(const EString& name, int line) {
  IAfInterface* created = AfInterfaceManager::getInstance()->createInstance(name, kFile, line);
  auto* provider = dynamic_cast<IDbMetaTable*>(created);
  if (provider == nullptr && created != nullptr) created->releaseInstance();
  return ProviderHolder(provider);
}

}  // namespace

MetaModule::MetaModule() : AfModule(L"Meta", false, 33.0) {}

MetaModule::~MetaModule() = default;

bool MetaModule::init() {
  DbMetaBase::initDataIdPacking();
  for (const EString& name : registeredProviderNames()) {
    ProviderHolder provider = createProvider(name, kLineInit);
    if (provider) provider->initTable();
  }
  return true;
}

bool MetaModule::initGui() { return true; }

bool MetaModule::exit() {
  for (const EString& name : registeredProviderNames()) {
    // A provider the framework no longer knows must not be loaded again
    // just to be shut down.
    if (name.empty() || !AfInterfaceManager::getInstance()->isKnown(name, false, true)) continue;
    ProviderHolder provider = createProvider(name, kLineExit);
    if (provider) provider->exitTable();
  }
  return true;
}

void MetaModule::onIdle() {}

void MetaModule::onSettingsChanged() {}
