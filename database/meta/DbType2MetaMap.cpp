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

DbType2MetaMap::~DbType2MetaMap() {
  try {
    deleteMetas(true);
  } catch (...) {
    // A destructor lets nothing escape: what the failed trace left is
    // deleted all the same, untraced.
    deleteMetas(false);
  }
}

DbMetaBase* DbType2MetaMap::addFreeMeta(unsigned short typeId, iterator newest) {
  DbMetaBase* created = newest->second != nullptr ? newest->second->createMeta() : nullptr;
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

void DbType2MetaMap::deleteAllMetas() { deleteMetas(true); }

void DbType2MetaMap::deleteMetas(bool trace) {
  while (!empty()) {
    DbMetaBase* meta = begin()->second;
    // Texts are built only while tracing is on: teardown may delete many metas.
    if (trace && meta != nullptr && tarvex::internal::isMetaTraceOn()) {
      if (meta->inUse()) {
        tarvex::internal::traceMeta(
            tarvex::internal::textNamingClass(L"Meta ", *meta, L" wurde nicht freigegeben!"), kFile,
            kLineMetaInUse);
      }
      if (meta->getObject() != nullptr) {
        tarvex::internal::traceMeta(tarvex::internal::textNamingClass(L"Objekt in Meta ", *meta,
                                                                      L" wurde nicht freigegeben!"),
                                    kFile, kLineObjectHeld);
      }
    }
    // Out of the pool before it is deleted: a later throw finds only live metas.
    pop_front();
    delete meta;
  }
  clear();
}
