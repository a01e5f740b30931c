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

DbType2MetaMap::~DbType2MetaMap() {
  try {
    deleteMetas(true);
  } catch (...) {
    // A destructor lets nothing escape: what the failed trace left is
    // deleted all the same, untraced.
    deleteMetas(false);
  }
}

DbMetaBase* DbType2MetaMap::addFreeMeta(iterator newest) {
  DbMetaBase* created = newest->second != nullptr ? newest->second->createMeta() : nullptr;
  if (created == nullptr) {
    // A pool never holds an entry without a meta, so a broken factory leaves
    // the caller without a meta instead of planting a null entry.
    tarvex::internal::reportAssert(texts::kNoNewMeta, kGrowCreateFailed);
    return nullptr;
  }
  adoptMetaBehind(newest, created);
  return created;
}

DbType2MetaMap::iterator DbType2MetaMap::adoptMeta(unsigned short typeId, DbMetaBase* meta) {
  try {
    return insert(typeId, meta);
  } catch (...) {
    delete meta;
    throw;
  }
}

DbType2MetaMap::iterator DbType2MetaMap::adoptMetaBehind(iterator hint, DbMetaBase* meta) {
  try {
    return insertBehind(hint, hint->first, meta);
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
        tarvex::internal::traceMeta(composeText(texts::kMetaNotGivenBack, {classNameOf(*meta)}),
                                    kMetaInUse);
      }
      if (meta->getObject() != nullptr) {
        tarvex::internal::traceMeta(composeText(texts::kObjectNotGivenBack, {classNameOf(*meta)}),
                                    kObjectHeld);
      }
    }
    // Out of the pool before it is deleted: a later throw finds only live metas.
    pop_front();
    delete meta;
  }
  clear();
}
