#include "MetaModule.h"

#include <vector>

#include "AfInterfaceManager.h"
#include "AfInterfaceSmartPtr.h"
#include "DbKitState.h"
#include "IDbMetaTable.h"
#include "Reporting.h"

IDbMetaTable::~IDbMetaTable() = default;

// A static build's consumers name this on their link line, so the objects
// below are constructed in every image that links the library, not only in
// those that happen to reference something else of this file.
extern "C" const char tarvex_link_meta_module = 0;

namespace {

using tarvex::internal::ReportSite;

// Made in this order at load, destroyed in reverse at unload: the module's
// hooks and every trace of the library read the trace state.
EModuleFlags& g_MetaTraceState = tarvex::internal::metaTraceState();
MetaModule g_MetaModule;

// Where this file creates providers, as the framework is told.
constexpr ReportSite kInitCreate{tarvex::internal::files::kMetaModule, 49};
constexpr ReportSite kExitCreate{tarvex::internal::files::kMetaModule, 76};

const EString kInterfaceName("IDbMetaTable");

using ProviderHolder = AfInterfaceSmartPtr<IDbMetaTable>;

std::vector<EString> registeredProviderNames() {
  std::vector<EString> names;
  AfInterfaceNameManager::instance()->getRegisterdInterfaceNames(kInterfaceName, names);
  return names;
}

// The holder deletes an owned provider when it goes and leaves a shared one
// to the framework. An object of the wrong kind is given back at once.
ProviderHolder createProvider(const EString& name, ReportSite site) {
  IAfInterface* created =
      AfInterfaceManager::getInstance()->createInstance(name, EString(site.file), site.line);
  auto* provider = dynamic_cast<IDbMetaTable*>(created);
  if (provider == nullptr && created != nullptr) created->releaseInstance();
  return ProviderHolder(provider);
}

}  // namespace

MetaModule::MetaModule() : AfModule(L"Meta", false, 33.0) {}

MetaModule::~MetaModule() = default;

bool MetaModule::init() {
  // Running from here on: a meta table registered from an initTable would
  // miss this start-up.
  DbKitState::moduleStarted();
  DbKitState::clearDataIdPacking();
  for (const EString& name : registeredProviderNames()) {
    ProviderHolder provider = createProvider(name, kInitCreate);
    if (provider) provider->initTable();
  }
  return true;
}

bool MetaModule::initGui() { return true; }

bool MetaModule::exit() {
  // Shut down also when an exitTable throws.
  DbKitState::moduleShutDown();
  for (const EString& name : registeredProviderNames()) {
    // A provider the framework no longer knows must not be loaded again
    // just to be shut down.
    if (name.empty() || !AfInterfaceManager::getInstance()->isKnown(name, false, true)) continue;
    ProviderHolder provider = createProvider(name, kExitCreate);
    if (provider) provider->exitTable();
  }
  return true;
}

void MetaModule::onIdle() {}

void MetaModule::onSettingsChanged() {}
