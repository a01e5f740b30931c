#include "MetaModule.h"

#include <cstdint>
#include <vector>

#include "AfInterfaceManager.h"
#include "AfInterfaceSmartPtr.h"
#include "DbMetaBase.h"
#include "IDbMetaTable.h"
#include "Reporting.h"

IDbMetaTable::~IDbMetaTable() = default;

// A static build's consumers name this on their link line, so the objects
// below are constructed in every image that links the library, not only in
// those that happen to reference something else of this file.
extern "C" const char tarvex_link_meta_module = 0;

namespace {

using tarvex::internal::composeText;
using tarvex::internal::reportAssert;
using tarvex::internal::ReportSite;
namespace texts = tarvex::internal::texts;

// Made in this order at load, destroyed in reverse at unload: the module's
// hooks and every trace of the library read the trace state.
EModuleFlags& g_MetaTraceState = tarvex::internal::metaTraceState();
MetaModule g_MetaModule;

// Where this file creates providers, as the framework is told.
constexpr ReportSite kInitCreate{tarvex::internal::files::kMetaModule, 49};
constexpr ReportSite kExitCreate{tarvex::internal::files::kMetaModule, 76};
// Where a start-up over live packed ids is reported.
constexpr ReportSite kPackingInUse{tarvex::internal::files::kMetaModule, 43};

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
  // A second start-up (or a second module) must not hand the packed ids of
  // live direct arrays to other data ids: the table stays as it is, and goes
  // on growing from where it stands.
  if (const std::uint32_t holding = DbMetaBase::getPackingMetaCount(); holding != 0) {
    reportAssert(composeText(texts::kPackingInUse, {EString().set(static_cast<unsigned>(holding))}),
                 kPackingInUse);
  } else {
    DbMetaBase::initDataIdPacking();
  }
  for (const EString& name : registeredProviderNames()) {
    ProviderHolder provider = createProvider(name, kInitCreate);
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
    ProviderHolder provider = createProvider(name, kExitCreate);
    if (provider) provider->exitTable();
  }
  return true;
}

void MetaModule::onIdle() {}

void MetaModule::onSettingsChanged() {}
