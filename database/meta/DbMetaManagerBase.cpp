#include "DbMetaManagerBase.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

#include "DbMetaBase.h"
#include "DbType2MetaMap.h"
#include "ObjectAllocation.h"
#include "Reporting.h"

namespace {

using tarvex::internal::composeText;
using tarvex::internal::reportAssert;
using tarvex::internal::ReportSite;
using tarvex::internal::traceMeta;
namespace files = tarvex::internal::files;
namespace texts = tarvex::internal::texts;

// Where this file's reports come from.
constexpr ReportSite kRegisterNull{files::kDbMetaManagerBase, 72};
constexpr ReportSite kRegisterTwice{files::kDbMetaManagerBase, 76};
constexpr ReportSite kRegisterWorking{files::kDbMetaManagerBase, 78};
constexpr ReportSite kRegisterInTeardown{files::kDbMetaManagerBase, 80};
constexpr ReportSite kRegisterCreateFailed{files::kDbMetaManagerBase, 84};
constexpr ReportSite kFillCreateFailed{files::kDbMetaManagerBase, 121};
constexpr ReportSite kCheckNoPool{files::kDbMetaManagerBase, 172};
constexpr ReportSite kDumpNoPool{files::kDbMetaManagerBase, 213};
constexpr ReportSite kDumpHeld{files::kDbMetaManagerBase, 234};
constexpr ReportSite kDumpInUse{files::kDbMetaManagerBase, 236};
constexpr ReportSite kDumpTypeInUse{files::kDbMetaManagerBase, 246};
constexpr ReportSite kClearNoMeta{files::kDbMetaManagerBase, 259};
constexpr ReportSite kClearNoPool{files::kDbMetaManagerBase, 270};
constexpr ReportSite kClearNoPoolMeta{files::kDbMetaManagerBase, 278};
constexpr ReportSite kCopyCreateFailed{files::kDbMetaManagerBase, 296};

constexpr unsigned short kTypeTableSize = 128;

// Visits the pool of every thread's slot, in slot order. An empty slot is
// reported at `emptySlot`, or skipped without one: teardown meets empty slots
// only after a failed allocation, which was reported when it happened.
template <typename Slots, typename Visit>
void forEachPool(Slots& slots, std::optional<ReportSite> emptySlot, Visit visit) {
  for (auto& slot : slots) {
    if (!slot.pool) {
      // Only a pool that could not be made is reported; a slot emptied by a
      // failed registration is a thread that has not started.
      using Fill = decltype(slot.fill);
      if (emptySlot && slot.fill == Fill::Interrupted) {
        reportAssert(texts::kNoPool, *emptySlot);  // GCOVR_EXCL_BR_LINE
      }
      continue;
    }
    visit(*slot.pool);
  }
}

// New metas made from `source`'s, under the same type ids, with copies of
// their string limit maps. A copy owns metas of its own so that no meta has
// two owners.
std::unique_ptr<DbType2MetaMap> copyRegisteredMetas(const DbType2MetaMap* source) {
  auto copy = std::make_unique<DbType2MetaMap>();
  if (source == nullptr) return copy;  // a registry in teardown has none left
  for (const auto& entry : *source) {
    DbMetaBase* original = entry.second;
    if (original == nullptr) continue;
    DbMetaBase* created = original->createMeta();
    if (created == nullptr) {
      reportAssert(texts::kNoNewMeta, kCopyCreateFailed);
      continue;
    }
    copy->adoptMeta(entry.first, created);
    if (const DbMetaBase::StringLimitMap* limits = original->getStringLimitMap()) {
      created->setStringLimitMap(*limits);
    }
  }
  return copy;
}

bool refuseWorkingMeta(const DbMetaBase& meta) {
  reportAssert(composeText(texts::kWorkingMetaRegistered, {tarvex::internal::classNameOf(meta)}),
               kRegisterWorking);
  return false;
}

}  // namespace

DbMetaManagerBase::DbMetaManagerBase() : m_pMetas(nullptr) { m_pMetas = new DbType2MetaMap; }

DbMetaManagerBase::DbMetaManagerBase(const DbMetaManagerBase& other) : m_pMetas(nullptr) {
  m_pMetas = copyRegisteredMetas(other.m_pMetas).release();
}

DbMetaManagerBase& DbMetaManagerBase::operator=(const DbMetaManagerBase& other) {
  // A registry in teardown (asked from a trace sink) takes nothing new.
  if (this == &other || m_pMetas == nullptr) return *this;
  // Copies first: if making them throws, this registry is left as it was.
  std::unique_ptr<DbType2MetaMap> registered = copyRegisteredMetas(other.m_pMetas);
  delete m_pMetas;
  m_pMetas = registered.release();
  // The pools stay, and are not filled again: no fill may resume over the
  // registered metas just deleted.
  for (PoolSlot& slot : m_LocalMetas) slot.fill = PoolSlot::Fill::Done;
  deleteAllWorkingMetas();
  return *this;
}

DbMetaManagerBase::~DbMetaManagerBase() {
  // From here on the registry answers as an empty one (m_pMetas null, every
  // slot closed), so that a trace sink which asks it for a meta, or counts
  // its metas, while the traces below are written finds nothing half deleted.
  for (PoolSlot& slot : m_LocalMetas) slot.fill = PoolSlot::Fill::Closed;
  DbType2MetaMap* registered = m_pMetas;
  m_pMetas = nullptr;
  delete registered;
  for (PoolSlot& slot : m_LocalMetas) {
    if (!slot.pool) continue;
    try {
      slot.pool->deleteAllMetas();  // counted by dump() while it goes
    } catch (...) {
      // A throwing trace: the pool's destructor below deletes the rest.
    }
    // Out of its slot before its destructor runs, so that nothing reaches it
    // from the slot table's own teardown.
    ESmartPtr<DbType2MetaMap>(std::move(slot.pool));
  }
  m_LocalMetas.clear();
}

void DbMetaManagerBase::deleteAllWorkingMetas() {
  forEachPool(m_LocalMetas, std::nullopt, [](DbType2MetaMap& pool) { pool.deleteAllMetas(); });
}

DbType2MetaMap& DbMetaManagerBase::slotPool(PoolSlot& slot, bool fill) const {
  if (!slot.pool) {
    // A throwing allocation leaves the slot empty, marked as a pool that
    // could not be made; the next call tries again.
    slot.fill = PoolSlot::Fill::Interrupted;
    slot.pool = ESmartPtr<DbType2MetaMap>(new DbType2MetaMap);
    slot.fill = PoolSlot::Fill::Done;
    if (fill) {
      slot.nextToFill = m_pMetas->cbegin();
      slot.fill = PoolSlot::Fill::Interrupted;
    }
  }
  // A call from inside the fill is served from the pool as far as it is filled.
  if (slot.fill == PoolSlot::Fill::Interrupted) fillPool(slot);
  return *slot.pool;
}

void DbMetaManagerBase::fillPool(PoolSlot& slot) const {
  // Filled in the slot, so that a createMeta() asking this registry again
  // finds this pool instead of making a second one over it.
  slot.fill = PoolSlot::Fill::Filling;
  DbType2MetaMap& pool = *slot.pool;
  try {
    // One type's registered metas lie together, so the last one added is
    // where the next one of its type goes: the fill walks no group.
    DbType2MetaMap::iterator added = pool.end();
    for (; slot.nextToFill != m_pMetas->cend(); ++slot.nextToFill) {
      DbMetaBase* original = slot.nextToFill->second;
      if (original == nullptr) continue;
      DbMetaBase* created = original->createMeta();
      if (created == nullptr) {
        reportAssert(texts::kNoNewMeta, kFillCreateFailed);
        continue;
      }
      const unsigned short typeId = created->getTypeId();
      added = added != pool.end() && added->first == typeId ? pool.adoptMetaBehind(added, created)
                                                            : pool.adoptMeta(typeId, created);
    }
  } catch (...) {
    // The pool holds only the metas made above, none null.
    const bool handedOut = std::any_of(pool.begin(), pool.end(),
                                       [](const auto& entry) { return entry.second->inUse(); });
    if (handedOut) {
      // Its users keep their metas; the next call goes on from here.
      slot.fill = PoolSlot::Fill::Interrupted;
    } else {
      // Nobody holds anything of it: the next call starts afresh, and
      // until then the walks report a pool that could not be made.
      slot.fill = PoolSlot::Fill::Interrupted;
      slot.pool.reset();
    }
    throw;
  }
  slot.fill = PoolSlot::Fill::Done;
}

bool DbMetaManagerBase::registerMeta(DbMetaBase* meta) {
  if (meta == nullptr) {
    reportAssert(texts::kNoMeta, kRegisterNull);
    return false;
  }
  if (m_pMetas == nullptr) {
    // Asked from a trace sink while this registry is torn down: the meta
    // became ours with the call, and goes with the rest, also if the
    // report throws.
    std::unique_ptr<DbMetaBase> refused(meta);
    reportAssert(composeText(texts::kRegisterInTeardown, {tarvex::internal::classNameOf(*meta)}),
                 kRegisterInTeardown);
    return false;
  }
  // A meta registers under its own type id, so only that group can hold it.
  // The walk that looks for it also finds where the new entry goes.
  const unsigned short typeId = meta->getTypeId();
  DbType2MetaMap::iterator lastRegistered = m_pMetas->end();
  for (auto entry = m_pMetas->find(typeId); entry != m_pMetas->end() && entry->first == typeId;
       ++entry) {
    if (entry->second == meta) {
      // Taking it again would delete it twice; the registry stays as it
      // was, and the schema is not told of it a second time either.
      reportAssert(composeText(texts::kMetaRegisteredTwice, {tarvex::internal::classNameOf(*meta)}),
                   kRegisterTwice);
      return false;
    }
    lastRegistered = entry;
  }
  // The meta became ours with the call, also if anything below throws.
  // A bound meta is taken like any other: a provider may bind the meta it
  // registers, and description gives it back.
  std::unique_ptr<DbMetaBase> registered(meta);
  // Registration is not the request path: the slot is asked directly.
  PoolSlot& slot = m_LocalMetas.local();
  tarvex::internal::endIfSlotIsReserve(&slot);
  // A working meta of this thread's pool would be deleted twice; one of
  // another pool is the caller's to keep away.
  std::optional<DbType2MetaMap::iterator> lastWorking;
  if (slot.pool) {
    DbType2MetaMap& held = *slot.pool;
    for (auto entry = held.find(typeId); entry != held.end() && entry->first == typeId; ++entry) {
      if (entry->second == meta) {
        static_cast<void>(registered.release());  // its pool's, not ours
        return refuseWorkingMeta(*meta);
      }
      lastWorking = entry;
    }
  }
  registered->addDataEntry2DbMap(true);
  const bool poolMadeHere = !slot.pool;
  DbType2MetaMap& pool = slotPool(slot, false);
  // All or nothing: the working meta joins the pool first, where it can be
  // taken out again should registering throw; a pool never keeps a type
  // that a failed registration left unregistered, nor the other way round.
  DbType2MetaMap::iterator added = pool.end();
  try {
    std::unique_ptr<DbMetaBase> working(registered->createMeta());
    if (working == nullptr) {
      reportAssert(texts::kNoNewMeta, kRegisterCreateFailed);
    } else {
      if (const DbMetaBase::StringLimitMap* limits = registered->getStringLimitMap()) {
        working->setStringLimitMap(*limits);
      }
      const unsigned short workingTypeId = working->getTypeId();
      added = lastWorking && workingTypeId == typeId
                  ? pool.adoptMetaBehind(*lastWorking, working.release())
                  : pool.adoptMeta(workingTypeId, working.release());
    }
    if (lastRegistered != m_pMetas->end()) {
      m_pMetas->adoptMetaBehind(lastRegistered, registered.release());
    } else {
      m_pMetas->adoptMeta(typeId, registered.release());
    }
  } catch (...) {
    if (added != pool.end()) {
      DbMetaBase* taken = added->second;
      pool.erase(added);
      delete taken;
    }
    // The pool this call made would keep the thread from ever being filled
    // with the types registered before: the thread is left as it was.
    if (poolMadeHere && pool.empty()) slot.pool.reset();
    throw;
  }
  return added != pool.end();
}

bool DbMetaManagerBase::isMetaRegistered(unsigned short typeId) const {
  return m_pMetas != nullptr && m_pMetas->find(typeId) != m_pMetas->end();
}

DbMetaBase* DbMetaManagerBase::getMetaFromSlot(PoolSlot& slot, unsigned short typeId) const {
  tarvex::internal::endIfSlotIsReserve(&slot);
  // In teardown (from the closing of the slots on, m_pMetas is null):
  // nothing to hand out, and no pool is made.
  if (m_pMetas == nullptr) return nullptr;
  return slotPool(slot, true).getFreeMeta(typeId);
}

namespace {
// The registered entries of a registry in teardown.
const DbMetaManagerBase::MetaEntries& noEntries() {
  static const DbMetaManagerBase::MetaEntries empty;
  return empty;
}
}  // namespace

DbMetaManagerBase::MetaConstIterator DbMetaManagerBase::getMetasBegin() const {
  return m_pMetas != nullptr ? m_pMetas->cbegin() : noEntries().cbegin();
}

DbMetaManagerBase::MetaConstIterator DbMetaManagerBase::getMetasEnd() const {
  return m_pMetas != nullptr ? m_pMetas->cend() : noEntries().cend();
}

bool DbMetaManagerBase::check() const {
  std::uint32_t inUse = 0;
  auto count = [&inUse](const DbType2MetaMap& pool) {
    for (const auto& entry : pool) {
      if (entry.second != nullptr && entry.second->inUse()) ++inUse;
    }
  };
  // In teardown the slots a trace sink's requests made stay empty: no report.
  if (m_pMetas != nullptr) count(*m_pMetas);
  forEachPool(m_LocalMetas, m_pMetas != nullptr ? std::optional(kCheckNoPool) : std::nullopt,
              count);
  return inUse == 0;
}

void DbMetaManagerBase::dump() const {
  std::uint32_t held = 0;
  std::uint32_t inUse = 0;
  std::uint32_t inUseByType[kTypeTableSize] = {};
  auto count = [&](const DbType2MetaMap& pool) {
    held += static_cast<std::uint32_t>(pool.size());
    for (const auto& entry : pool) {
      const DbMetaBase* meta = entry.second;
      if (meta == nullptr || !meta->inUse()) continue;
      ++inUse;
      const unsigned short typeId = meta->getTypeId();
      if (typeId < kTypeTableSize) ++inUseByType[typeId];
    }
  };
  if (m_pMetas != nullptr) count(*m_pMetas);
  forEachPool(m_LocalMetas, m_pMetas != nullptr ? std::optional(kDumpNoPool) : std::nullopt, count);

  if (!tarvex::internal::isMetaTraceOn()) return;
  auto number = [](unsigned int n) { return EString().set(n); };
  traceMeta(composeText(texts::kRecycledMetaCount, {number(held)}), kDumpHeld);
  traceMeta(composeText(texts::kInUseCount, {number(inUse)}), kDumpInUse);
  for (unsigned short typeId = 0; typeId < kTypeTableSize; ++typeId) {
    if (inUseByType[typeId] == 0) continue;
    traceMeta(
        composeText(texts::kTypeInUseCount, {EString().set(typeId), number(inUseByType[typeId])}),
        kDumpTypeInUse);
  }
}

void DbMetaManagerBase::clearAllMetas(bool allThreads) {
  // In teardown the metas are going; clearing them would change nothing.
  if (m_pMetas == nullptr) return;
  for (const auto& entry : *m_pMetas) {
    if (entry.second == nullptr) {
      reportAssert(texts::kNoMeta, kClearNoMeta);
      continue;
    }
    entry.second->clear();
  }
  if (!allThreads) return;
  forEachPool(m_LocalMetas, kClearNoPool, [](DbType2MetaMap& pool) {
    for (const auto& entry : pool) {
      if (entry.second == nullptr) {                     // GCOVR_EXCL_BR_LINE
        reportAssert(texts::kNoMeta, kClearNoPoolMeta);  // GCOVR_EXCL_LINE
        continue;                                        // GCOVR_EXCL_LINE
      }
      entry.second->clear();
    }
  });
}
