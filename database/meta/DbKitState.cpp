// The provider kit's process-wide state: one copy, in the library, for every
// image that includes the kit.
#include "DbKitState.h"

#include <cstdint>
#include <utility>

#include "DbDataModel2DataBaseTypeMap.h"
#include "DbMetaBase.h"
#include "IDbDataSchema.h"
#include "Reporting.h"

namespace {

using tarvex::internal::composeText;
using tarvex::internal::reportAssert;
using tarvex::internal::ReportSite;
namespace texts = tarvex::internal::texts;

// Start-up's report of live packed ids, wherever the step is taken from.
constexpr ReportSite kPackingInUse{tarvex::internal::files::kMetaModule, 43};
constexpr ReportSite kModelTypeClash{tarvex::internal::files::kDbKitState,
                                     DbKitState::kModelTypeClashLine};

// The installed schema is the interface's own pointer.
struct InstalledSchema : IDbDataSchema {
  static IDbDataSchema*& pointer() { return sm_pInstance; }
};

DbKitState::SchemaLink* g_pNewestSchema = nullptr;
// Start-ups not yet shut down: a second module object starts and ends too.
unsigned g_ModuleStarts = 0;

}  // namespace

const std::type_info* DbKitState::sm_KitMetaClasses[kKitMetaClassSlots] = {};

void DbKitState::installSchema(SchemaLink& link, IDbDataSchema& schema) noexcept {
  link.schema = &schema;
  link.previous = InstalledSchema::pointer();
  link.older = g_pNewestSchema;
  link.newer = nullptr;
  if (link.older != nullptr) link.older->newer = &link;
  g_pNewestSchema = &link;
  InstalledSchema::pointer() = &schema;
}

void DbKitState::removeSchema(SchemaLink& link) noexcept {
  if (link.schema == nullptr) return;
  // A newer schema that replaced this one puts back what this one replaced.
  for (SchemaLink* newer = link.newer; newer != nullptr; newer = newer->newer) {
    if (newer->previous == link.schema) newer->previous = link.previous;
  }
  if (InstalledSchema::pointer() == link.schema) InstalledSchema::pointer() = link.previous;
  if (link.older != nullptr) link.older->newer = link.newer;
  if (link.newer != nullptr) {
    link.newer->older = link.older;
  } else {
    g_pNewestSchema = link.older;
  }
  link = SchemaLink{};
}

bool DbKitState::frameworkRunning() noexcept { return g_ModuleStarts != 0; }

void DbKitState::moduleStarted() noexcept { ++g_ModuleStarts; }

void DbKitState::moduleShutDown() noexcept {
  if (g_ModuleStarts != 0) --g_ModuleStarts;
}

void DbKitState::forgetKitMetaClasses() noexcept {
  for (const std::type_info*& slot : sm_KitMetaClasses) slot = nullptr;
}

void DbKitState::schemaEnding(const IDbDataSchema* schema) noexcept {
  // A kit schema that replaced this one must not put it back once it is gone.
  for (SchemaLink* link = g_pNewestSchema; link != nullptr; link = link->older) {
    if (link->previous == schema) link->previous = nullptr;
  }
}

bool DbKitState::clearDataIdPacking() {
  // Clearing under a live direct array would hand its packed ids to other
  // data ids: the table stays, and packing goes on from where it stands.
  if (const std::uint32_t holding = DbMetaBase::getPackingMetaCount(); holding != 0) {
    reportAssert(composeText(texts::kPackingInUse, {EString().set(static_cast<unsigned>(holding))}),
                 kPackingInUse);
    return false;
  }
  DbMetaBase::initDataIdPacking();
  return true;
}

bool DbKitState::registerValueModelTypes() {
  bool all = true;
  for (unsigned char dataModelType = 0; dataModelType < 128; ++dataModelType) {
    const int kitType = tarvex::kitDatabaseType(dataModelType);
    if (kitType < 0) continue;
    const auto databaseType = static_cast<char>(kitType);
    const char found = DbDataModel2DataBaseTypeMap::getDatabaseType(dataModelType);
    if (found == DbDataModel2DataBaseTypeMap::kUndefinedDatabaseType) {
      DbDataModel2DataBaseTypeMap::addDataModelType(dataModelType, databaseType);
    } else if (found != databaseType) {
      // The application's entry is its own: rewriting it would change the
      // kind of its values behind its back.
      reportAssert(
          composeText(texts::kModelTypeClash, {EString().set(static_cast<unsigned>(dataModelType)),
                                               EString().set(static_cast<unsigned>(found)),
                                               EString().set(static_cast<unsigned>(databaseType))}),
          kModelTypeClash);
      all = false;
    }
  }
  return all;
}
