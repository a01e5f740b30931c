/// @file
/// DbMetaCore: the ordinary behaviour of a concrete meta, shared by every
/// DbMetaImpl.
#pragma once

#include <cstdint>

#include "DbMetaBase.h"
#include "DbObjectId.h"
#include "DbReferenceContainerValue.h"

namespace tarvex {

/// Implements the extension points of DbMetaBase that need no knowledge of
/// the concrete type: the object id, the bound object, the modified flag
/// and the container operations on DbReferenceContainerValue. The type id
/// and createMeta() are left to DbMetaImpl (or to a class of the provider's
/// own that sets its type id at run time).
class DbMetaCore : public DbMetaBase {
 public:
  /// Stores the id; registration passes one carrying only the type id.
  void setObjectId(const DbObjectId& objectId) override { m_ObjectId = objectId; }
  /// The id last stored.
  const DbObjectId& getObjectId() const override { return m_ObjectId; }
  /// Keeps `object` and lets the base mark the meta in use (or report a
  /// null object).
  bool setObject(DMMemberBase* object, unsigned short mode) override {
    m_pObject = object;
    return DbMetaBase::setObject(object, mode);
  }
  /// The bound object, or null.
  DMMemberBase* getObject() const override { return m_pObject; }
  /// Drops the bound object; the meta stays in use.
  void releaseObject() override { m_pObject = nullptr; }
  /// Null: the meta makes no objects of its own (see DbMetaImpl).
  DMMemberBase* createObject() override { return nullptr; }
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
  /// Gives the meta back: drops the object and the modified flag, then the
  /// base clears the in-use flag.
  void clear() override {
    m_pObject = nullptr;
    m_bModified = false;
    DbMetaBase::clear();
  }

 private:
  DbObjectId m_ObjectId;
  DMMemberBase* m_pObject = nullptr;
  bool m_bModified = false;
};

}  // namespace tarvex
