/// @class DbMetaManagerBase
/// Registry that maps object type ids to metas.
///
/// Providers register one meta per type; callers ask for a free working meta
/// of a type, bind an object to it (setObject), use it and give it back with
/// clear(). Working metas are made from the registered ones by createMeta()
/// and recycled in a pool per thread, so handing one out takes no lock of
/// ours and, once the pool holds a free meta, allocates nothing. A local
/// registry answers from its own metas and falls back to the process-wide
/// DbMetaManager for types it cannot serve.
///
/// Ownership: the registry owns every meta passed to registerMeta (from the
/// call on, also when the call throws) and, through one smart pointer per
/// thread, every thread's pool. A meta handed out stays owned by its pool;
/// the caller borrows it until clear(). A copied or assigned registry owns
/// registered metas of its own, made by createMeta() of the source's
/// registered metas, so no meta is ever deleted twice.
///
/// Thread safety: registerMeta, getMeta and getMetaLocal may run on any
/// number of threads at once, each thread touching only its own pool.
/// check, dump, clearAllMetas, the copy operations and the destructor walk
/// every thread's pool.
///
/// REQUIRES: registration is complete before other threads first ask for
///           metas (or the caller keeps the two apart).
///
/// REQUIRES: check, dump, clearAllMetas, copying, assignment and destruction
///           run while no other thread uses the registries involved.
///
/// REQUIRES: createMeta() of a registered meta returns a new meta of the same
///           type id, owned by the caller.
///
/// REQUIRES: a meta handed out is given back with clear() before teardown
///           and not touched afterwards.
///
/// Reports (".\DbMetaManagerBase"): a thread slot without a pool, an entry
/// without a meta, a null meta given to registerMeta, a createMeta() that
/// returns null. The operation goes on after each.
#pragma once

#include <cstdint>
#include <list>
#include <utility>

#include <tbb/enumerable_thread_specific.h>

#include "DbForward.h"
#include "ESmartPtr.h"
#include "TarvexExport.h"

class DbType2MetaMap;

class TARVEX_EXPORT DbMetaManagerBase {
 public:
  /// The registered (type id, meta) entries.
  using MetaEntries = std::list<std::pair<const unsigned short, DbMetaBase*>>;
  /// Iterator over the registered entries.
  using MetaConstIterator = MetaEntries::const_iterator;

  DbMetaManagerBase();
  /// Registers, per registered meta of `other`, a new meta made by its
  /// createMeta() with a copy of its string limit map. No thread pools.
  DbMetaManagerBase(const DbMetaManagerBase& other);
  /// Deletes this registry's registered metas and replaces them as the copy
  /// constructor does; empties (but keeps) the pools of every thread, which
  /// are not filled again, so those threads fall back to the singleton.
  DbMetaManagerBase& operator=(const DbMetaManagerBase& other);
  /// Deletes every registered and working meta exactly once, tracing those
  /// not given back.
  virtual ~DbMetaManagerBase();

  /// A free working meta of the type from this registry, else from the
  /// singleton (created if need be); null if neither holds the type.
  virtual DbMetaBase* getMeta(unsigned short typeId) const;

  /// Announces the meta's data entries to the schema, gives the calling
  /// thread's pool a working meta of it (with a copy of its string limit
  /// map) and registers it. Pools of other threads that exist already never
  /// learn of it. Returns false, after a report, for a null meta (nothing is
  /// registered) or when the meta's createMeta() returns null (the meta is
  /// registered and owned all the same, but this thread's pool got nothing).
  /// REQUIRES: embedded types are registered before the metas embedding them.
  bool registerMeta(DbMetaBase* meta);
  /// Whether a meta of `typeId` is registered here (the singleton is not asked).
  bool isMetaRegistered(unsigned short typeId) const;

  ///@{
  /// The registered (type id, meta) entries; one type's entries lie together
  /// in registration order, the order of types carries no meaning.
  MetaConstIterator getMetasBegin() const;
  MetaConstIterator getMetasEnd() const;
  ///@}

  /// True if no meta held by the registry is in use.
  bool check() const;
  /// Writes the held count, the in-use count and the in-use count per type id
  /// below 128 to the "Meta" debug trace (in-use metas of higher type ids
  /// count in the totals only).
  void dump() const;
  /// Calls clear() on every registered meta and, with `allThreads`, on every
  /// working meta of every thread. Deletes nothing.
  void clearAllMetas(bool allThreads);

 protected:
  /// A free working meta of the type from this registry alone, or null.
  DbMetaBase* getMetaLocal(unsigned short typeId) const;

 private:
  using PoolSlots = tbb::enumerable_thread_specific<ESmartPtr<DbType2MetaMap>>;

  /// The calling thread's pool; with `fill`, a new pool starts with one
  /// working meta per registered meta.
  DbType2MetaMap& localPool(bool fill) const;
  /// Deletes every working meta of every thread; the pools stay, empty.
  void deleteAllWorkingMetas();

  DbType2MetaMap* m_pMetas;
  mutable PoolSlots m_LocalMetas;
};
