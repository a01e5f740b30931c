#include "DbType2MetaMap.h"

#include "DbMetaBase.h"
#include "Reporting.h"

using tarvex::internal::classNameOf;
using tarvex::internal::composeText;
using tarvex::internal::ReportSite;
namespace files = tarvex::internal::files;
namespace texts = tarvex::internal::texts;

namespace {

// Where this file's reports come from.
constexpr ReportSite kGrowCreateFailed{files::kDbType2MetaMap, 48};
constexpr ReportSite kMetaInUse{files::kDbType2MetaMap, 61};
constexpr ReportSite kObjectHeld{files::kDbType2MetaMap, 67};

}  // namespace

DbType2MetaMap::DbType2MetaMap() = default;

DbType2MetaMap::~DbType2MetaMap() { deleteAllMetas(); }

DbMetaBase* DbType2MetaMap::getFreeMeta(unsigned short typeId) {
  auto range = equal_range(typeId);
  if (range.first == range.second) return nullptr;
  DbMetaBase* newest = nullptr;
  for (auto it = range.first; it != range.second; ++it) {
    DbMetaBase* meta = it->second;
    if (meta == nullptr) continue;
    if (!meta->inUse()) return meta;
    newest = meta;
  }
  DbMetaBase* created = newest != nullptr ? newest->createMeta() : nullptr;
  if (created == nullptr) {
    // A pool never holds an entry without a meta, so a broken factory leaves
    // the caller without a meta instead of planting a null entry.
    tarvex::internal::reportAssert(texts::kNoNewMeta, kGrowCreateFailed);
    return nullptr;
  }
  adoptMeta(typeId, created);
  return created;
}

void DbType2MetaMap::adoptMeta(unsigned short typeId, DbMetaBase* meta) {
  try {
    insert(typeId, meta);
  } catch (...) {
    delete meta;
    throw;
  }
}

void DbType2MetaMap::deleteAllMetas() {
  for (const value_type& entry : *this) {
    DbMetaBase* meta = entry.second;
    if (meta == nullptr) continue;
    // Texts are built only while tracing is on: teardown may delete many metas.
    if (meta->inUse() && tarvex::internal::isMetaTraceOn()) {
      tarvex::internal::traceMeta(composeText(texts::kMetaNotGivenBack, {classNameOf(*meta)}),
                                  kMetaInUse);
    }
    if (meta->getObject() != nullptr && tarvex::internal::isMetaTraceOn()) {
      tarvex::internal::traceMeta(composeText(texts::kObjectNotGivenBack, {classNameOf(*meta)}),
                                  kObjectHeld);
    }
    delete meta;
  }
  clear();
}
