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
/// registered metas, so no meta is ever deleted twice. A thread's slot in
/// the registry's enumerable_thread_specific is all the registry keeps per
/// thread; every request finds it there.
///
/// Thread safety: getMeta and getMetaLocal may run on any number of threads
/// at once, each thread touching only its own pool. registerMeta does not:
/// it writes the registered pool, which every thread's first getMeta reads
/// to fill its pool, and announces the meta to the process-wide schema, all
/// without a lock. check, dump, clearAllMetas, the copy operations and the
/// destructor walk every thread's pool.
///
/// REQUIRES: registerMeta runs on one thread at a time (for all registries
///           together, since they share the schema), and registration with a
///           registry is complete before other threads first ask it for metas
///           or read its registered metas (isMetaRegistered, getMetasBegin);
///           a thread may go on registering with a registry only while no
///           other thread uses that registry.
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
/// Teardown: from the start of the destructor the registry answers as an
/// empty one, so a trace sink called from the "not given back" traces may
/// ask it: getMeta gives null (this registry makes no pool any more),
/// isMetaRegistered false, check and dump count what is left in the pools,
/// clearAllMetas and assignment do nothing, registerMeta reports and deletes
/// the meta it is given.
///
/// A thread's first getMeta puts its new pool into the thread's slot and then
/// fills it there, so a createMeta() (or meta constructor) that asks the same
/// registry for a meta during that fill is served from the partly filled
/// pool: it gets a meta of a type already made, or null. If the fill throws,
/// the thread's next call starts afresh when nothing of the pool is in use,
/// and otherwise completes the fill where it stopped; nothing handed out is
/// deleted while in use.
///
/// Reports (".\DbMetaManagerBase"): a thread slot without a pool, an entry
/// without a meta, a null meta given to registerMeta, a meta registered with
/// the same registry twice, a working meta given to registerMeta, a meta
/// given to registerMeta during teardown, a createMeta() that returns null.
/// The operation goes on after each.
#pragma once

#include <list>
#include <utility>

#include <tbb/enumerable_thread_specific.h>

#include "DbForward.h"
#include "DbType2MetaMap.h"
#include "ESmartPtr.h"
#include "TarvexExport.h"
#include "internal/CacheAlignedAllocator.h"

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
  /// REQUIRES: the singleton exists (DbMetaManager::getInstance() has been
  ///           called) before several threads may reach this fallback at
  ///           once: its creation is not synchronised, and threads that
  ///           create it together make one singleton each.
  virtual DbMetaBase* getMeta(unsigned short typeId) const;

  /// Announces the meta's data entries to the schema, gives the calling
  /// thread's pool a working meta of it (with a copy of its string limit
  /// map) and registers it. Pools of other threads that exist already never
  /// learn of it. Returns false, after a report, for a null meta, one this
  /// registry holds registered already, and a working meta of the calling
  /// thread's pool (nothing happens: neither the schema nor any pool hears
  /// of it, and the meta is still owned once); or when the meta's
  /// createMeta() returns null (the meta is registered and owned all the
  /// same, but this thread's pool got nothing). Any other meta is taken, one
  /// bound to an object too (the description gives it back). A meta given
  /// during teardown (from a trace sink) is reported and deleted, also when
  /// the report throws. A second meta of a type already registered is
  /// registered behind the first. All or nothing: if registering throws,
  /// neither the registry nor the pool keeps anything of it (the schema has
  /// heard of it), and a thread whose first call on the registry this was
  /// is left without a pool, so its next getMeta fills one as a new
  /// thread's does.
  /// REQUIRES: embedded types are registered before the metas embedding them.
  /// REQUIRES: the meta is owned by nobody else: not registered with another
  ///           registry, nor a working meta of another pool (another
  ///           thread's, or another registry's).
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
  /// Inline, so that a warm request costs the caller no call into the
  /// library beyond the slot look-up: once the thread's slot holds a filled
  /// pool, the pool answers; the slot's first use (making and filling the
  /// pool) goes out of line.
  DbMetaBase* getMetaLocal(unsigned short typeId) const {
    PoolSlot& slot = m_LocalMetas.local();
    DbType2MetaMap* pool = slot.pool.get();
    if (pool == nullptr || slot.fill != PoolSlot::Fill::Done) return getMetaFromSlot(slot, typeId);
    return pool->getFreeMeta(typeId);
  }

 private:
  /// One thread's pool, the pool's only owner. While the pool is being
  /// filled, or after a fill that threw with some of its metas in use,
  /// `nextToFill` is the registered entry to make a working meta of next.
  struct PoolSlot {
    /// Where the pool's first fill stands; Closed once the registry's
    /// teardown has begun, so that the request path asks no pool again.
    enum class Fill : unsigned char { Done, Filling, Interrupted, Closed };
    ESmartPtr<DbType2MetaMap> pool;  ///< Empty until the thread's first call.
    MetaConstIterator nextToFill{};  ///< Meaningful unless Done.
    Fill fill = Fill::Done;          ///< Done also for a pool never filled.
  };
  /// The per-thread slots (default key usage), on an allocator the
  /// sanitizers can see into.
  using PoolSlots =
      tbb::enumerable_thread_specific<PoolSlot, tarvex::internal::CacheAlignedAllocator<PoolSlot>>;

  /// The pool of the calling thread's `slot`, made if need be (with `fill`,
  /// filled with one working meta per registered meta).
  DbType2MetaMap& slotPool(PoolSlot& slot, bool fill) const;
  /// getMetaLocal while the calling thread's `slot` holds no filled pool.
  DbMetaBase* getMetaFromSlot(PoolSlot& slot, unsigned short typeId) const;
  /// Fills the slot's pool from `nextToFill` on, in the slot.
  void fillPool(PoolSlot& slot) const;
  /// Deletes every working meta of every thread; the pools stay, empty.
  void deleteAllWorkingMetas();

  DbType2MetaMap* m_pMetas;
  mutable PoolSlots m_LocalMetas;
};
