/// @file
/// DbMetaCore: the ordinary behaviour of a concrete meta, shared by every
/// DbMetaImpl.
#pragma once

#include <cstdint>

#include "DbMetaBase.h"
#include "DbObjectId.h"
#include "DbReferenceContainerValue.h"

namespace tarvex {

class DbBorrowedMeta;

/// @cond TARVEX_INTERNAL
namespace internal {

/// What a DbBorrowedMeta holds, where the meta can reach it: the meta tells
/// its handle when it is given back behind the handle's back or deleted
/// (with its registry) while held, so the handle never touches it again.
struct MetaHold {
  /// Why the handle lost its meta, if it did.
  enum class Loss : unsigned char { kNone, kGivenBack, kDeleted };
  DbMetaBase* meta = nullptr;  ///< The meta held, or null.
  Loss loss = Loss::kNone;     ///< Set by the meta, reported by the handle.
};

}  // namespace internal
/// @endcond

/// Implements the extension points of DbMetaBase that need no knowledge of
/// the concrete type: the object id, the bound object, the modified flag
/// and the container operations on DbReferenceContainerValue. The type id
/// and createMeta() are left to DbMetaImpl (or to a class of the provider's
/// own that sets its type id at run time).
class DbMetaCore : public DbMetaBase {
 public:
  /// A meta without object, id 0/0/0, not held by a handle.
  DbMetaCore() = default;
  DbMetaCore(const DbMetaCore&) = delete;
  DbMetaCore& operator=(const DbMetaCore&) = delete;
  /// Tells a handle still holding the meta that it is gone.
  ~DbMetaCore() override {
    if (m_pHold != nullptr) loseHold(internal::MetaHold::Loss::kDeleted);
  }

  /// Stores the id; registration passes one carrying only the type id.
  void setObjectId(const DbObjectId& objectId) override { m_ObjectId = objectId; }
  /// The id last stored.
  const DbObjectId& getObjectId() const override { return m_ObjectId; }
  /// Keeps `object` and lets the base mark the meta in use (or report a
  /// null object, which leaves the meta free: a meta in use is given back
  /// so, its object id dropped as clear() drops it, and a handle holding it
  /// lets go).
  bool setObject(DMMemberBase* object, unsigned short mode) override {
    const bool wasInUse = inUse();
    m_pObject = object;
    const bool bound = DbMetaBase::setObject(object, mode);
    if (!inUse()) {
      if (wasInUse) forgetObject();
      if (m_pHold != nullptr) loseHold(internal::MetaHold::Loss::kGivenBack);
    }
    return bound;
  }
  /// The bound object, or null.
  DMMemberBase* getObject() const override { return m_pObject; }
  /// Drops the bound object; the meta stays in use.
  void releaseObject() override { m_pObject = nullptr; }
  /// Null: the meta makes no objects of its own (see DbMetaImpl).
  DMMemberBase* createObject() override { return nullptr; }
  /// Adds meta's object to the container value of `dataId` as the base
  /// does; for a DbReferenceContainerValue the answer is the container's,
  /// false when it refuses a meta without an object id.
  bool addObject2Container(unsigned short dataId, DbMetaBase& meta, int position) override {
    if (auto* container = dynamic_cast<DbReferenceContainerValue*>(getData(dataId))) {
      return container->addObject2Container(meta, position);
    }
    return DbMetaBase::addObject2Container(dataId, meta, position);
  }
  /// Removes the element at `position` of the DbReferenceContainerValue of
  /// `dataId`; false for any other value, a missing one or a bad position.
  bool removeObjectFromContainer(unsigned short dataId, int position) override {
    auto* container = dynamic_cast<DbReferenceContainerValue*>(getData(dataId));
    return container != nullptr && container->removeElement(position);
  }
  /// Element count of the DbReferenceContainerValue of `dataId`; 0 for any
  /// other value or a missing one.
  std::uint32_t getContainerSize(unsigned short dataId) const override {
    const auto* container = dynamic_cast<const DbReferenceContainerValue*>(getData(dataId));
    return container == nullptr ? 0 : container->getContainerCount();
  }
  /// Whether setModified(true) was called since the meta was last given back.
  bool isModified() const override { return m_bModified; }
  /// Sets the modified flag.
  void setModified(bool modified) override { m_bModified = modified; }
  /// Gives the meta back: drops the object, the modified flag and, for a
  /// meta in use, the object id and the object's flags (new, delete,
  /// created, 3D, build stamp back to a new meta's), so that the next user
  /// starts as with a new meta; then the base clears the in-use flag. A
  /// handle holding the meta lets go.
  void clear() override {
    if (m_pHold != nullptr) loseHold(internal::MetaHold::Loss::kGivenBack);
    if (inUse()) forgetObject();
    m_pObject = nullptr;
    m_bModified = false;
    DbMetaBase::clear();
  }

 private:
  friend class DbBorrowedMeta;

  // What a meta in use knows of its object, back to a new meta's state.
  void forgetObject() {
    m_ObjectId = DbObjectId();
    m_bModified = false;
    setNewObject(false);
    setDeleteObject(true);
    setCreated(nullptr, false);
    set3DObjectFlag(false);
    setBuildStamp(0);
  }

  void loseHold(internal::MetaHold::Loss loss) {
    m_pHold->meta = nullptr;
    m_pHold->loss = loss;
    m_pHold = nullptr;
  }

  internal::MetaHold* m_pHold = nullptr;  // the handle holding the meta, if any
  DbObjectId m_ObjectId;
  DMMemberBase* m_pObject = nullptr;
  bool m_bModified = false;
};

}  // namespace tarvex
