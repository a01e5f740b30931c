#include "DbType2MetaMap.h"

#include "DbMetaBase.h"
#include "Reporting.h"

namespace {

const EString kFile(".\\DbType2MetaMap");
constexpr int kLineCreateMetaFailed = 48;
constexpr int kLineMetaInUse = 61;
constexpr int kLineObjectHeld = 67;

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
    tarvex::internal::reportAssert(L"VORASSERT (pNewMeta) failed", kFile, kLineCreateMetaFailed);
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
      tarvex::internal::traceMeta(
          tarvex::internal::textNamingClass(L"Meta ", *meta, L" wurde nicht freigegeben!"), kFile,
          kLineMetaInUse);
    }
    if (meta->getObject() != nullptr && tarvex::internal::isMetaTraceOn()) {
      tarvex::internal::traceMeta(tarvex::internal::textNamingClass(L"Objekt in Meta ", *meta,
                                                                    L" wurde nicht freigegeben!"),
                                  kFile, kLineObjectHeld);
    }
    delete meta;
  }
  clear();
}
