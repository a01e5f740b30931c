/// @file
/// DbObjectId: identity of a persistent object (type id, database id, object
/// number). A plain value class; DbEmbeddedObjId adds the id of an object
/// embedded in it.
#pragma once

#include <cstdint>

#include "RanvokExport.h"

/// Identity of a persistent object; the default is all zeros.
class RANVOK_EXPORT DbObjectId {
 public:
  DbObjectId() = default;
  /// The id of object `objectNumber` of type `typeId` in database `databaseId`.
  DbObjectId(unsigned short typeId, unsigned short databaseId, std::uint32_t objectNumber)
      : m_TypeId(typeId), m_DatabaseId(databaseId), m_ObjectNumber(objectNumber) {}

  ///@{
  /// The three parts of the id.
  unsigned short getTypeId() const { return m_TypeId; }
  unsigned short getDatabaseId() const { return m_DatabaseId; }
  std::uint32_t getObjectNumber() const { return m_ObjectNumber; }
  ///@}
  ///@{
  /// Set one part of the id.
  void setTypeId(unsigned short typeId) { m_TypeId = typeId; }
  void setDatabaseId(unsigned short databaseId) { m_DatabaseId = databaseId; }
  void setObjectNumber(std::uint32_t objectNumber) { m_ObjectNumber = objectNumber; }
  ///@}

  ///@{
  /// Equal in all three parts.
  bool operator==(const DbObjectId& o) const {
    return m_TypeId == o.m_TypeId && m_DatabaseId == o.m_DatabaseId &&
           m_ObjectNumber == o.m_ObjectNumber;
  }
  bool operator!=(const DbObjectId& o) const { return !(*this == o); }
  ///@}

 private:
  unsigned short m_TypeId = 0;
  unsigned short m_DatabaseId = 0;
  std::uint32_t m_ObjectNumber = 0;
};

/// Id of an object embedded in a persistent object.
class RANVOK_EXPORT DbEmbeddedObjId {
 public:
  DbEmbeddedObjId() = default;
  /// Embedded object `embeddedId` of the object `objectId`.
  DbEmbeddedObjId(const DbObjectId& objectId, std::int32_t embeddedId)
      : m_ObjectId(objectId), m_EmbeddedId(embeddedId) {}

  /// The id of the embedding object.
  DbObjectId getObjectId() const { return m_ObjectId; }
  /// The id of the embedded object within its embedding object.
  std::int32_t getEmbeddedId() const { return m_EmbeddedId; }

 private:
  DbObjectId m_ObjectId;
  std::int32_t m_EmbeddedId = 0;
};
