/// @class DbType2MetaMap
/// A pool of metas keyed by object type id.
///
/// The registry keeps one pool for its registered metas and one per thread for
/// the working metas it hands out. getFreeMeta hands out the oldest meta of a
/// type that is not in use and grows the pool only when all of them are busy;
/// metas given back with clear() stay in the pool and are handed out again.
///
/// Ownership: the pool owns every meta in it and deletes each exactly once,
/// in deleteAllMetas (also run by the destructor). Pools are therefore not
/// copyable: a copy would delete the same metas a second time.
///
/// Thread safety: none. A pool is used by one thread at a time; the registry
/// confines each working pool to its thread.
///
/// REQUIRES: every meta added is non-null, owned by nobody else, and its
///           createMeta() returns a new meta of the same type or null.
#pragma once

#include "DbMetaBase.h"
#include "TarvexExport.h"
#include "internal/GroupedMultimap.h"

class TARVEX_EXPORT DbType2MetaMap
    : public tarvex::internal::GroupedMultimap<unsigned short, DbMetaBase*> {
 public:
  DbType2MetaMap();
  DbType2MetaMap(const DbType2MetaMap&) = delete;
  DbType2MetaMap& operator=(const DbType2MetaMap&) = delete;
  /// Runs deleteAllMetas; if a trace throws, deletes the rest without
  /// tracing. Never throws.
  virtual ~DbType2MetaMap();

  /// The oldest meta of `typeId` that is not in use. When all are busy, a new
  /// one made by createMeta() of the newest, added behind them under
  /// `typeId`. Null when the pool holds no meta of `typeId`, or (reported)
  /// when createMeta() fails to make one. Allocates nothing unless it grows.
  /// Inline: it is the request cycle's hot path.
  DbMetaBase* getFreeMeta(unsigned short typeId) {
    iterator entry = find(typeId);
    if (entry == end()) return nullptr;
    iterator newest;
    do {
      DbMetaBase* meta = entry->second;
      if (meta != nullptr && !meta->inUse()) return meta;
      newest = entry;
    } while (++entry != end() && entry->first == typeId);
    return addFreeMeta(newest);
  }

  /// Adds `meta` under `typeId`, behind the metas of that type, and takes it
  /// over; returns its entry. If adding throws, `meta` is deleted before the
  /// exception leaves. REQUIRES: meta is non-null.
  iterator adoptMeta(unsigned short typeId, DbMetaBase* meta);
  /// adoptMeta under the type of `hint`, walking to the group's end from
  /// `hint` instead of from the type's oldest meta.
  /// REQUIRES: meta is non-null; `hint` is an entry of this pool.
  iterator adoptMetaBehind(iterator hint, DbMetaBase* meta);

  /// Traces every meta still in use ("Meta" trace switch on) and every one
  /// still holding an object, deletes all metas and empties the pool. The
  /// pool stays usable. Each meta leaves the pool as it is deleted, so if a
  /// trace throws (the sink, or building its text), the exception passes
  /// with the metas before deleted and gone and the rest, this one included,
  /// still in the pool.
  void deleteAllMetas();

 private:
  /// getFreeMeta when every meta of the type is busy; `newest` is the
  /// newest of them, behind which the new one goes without another walk.
  DbMetaBase* addFreeMeta(iterator newest);
  /// deleteAllMetas, with the traces or (in the destructor, after a trace
  /// threw) without them.
  void deleteMetas(bool trace);
};
