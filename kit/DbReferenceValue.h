/// @file
/// DbReferenceValue: the provider kit's reference to another object.
#pragma once

#include <cstdint>

#include "DbObjectId.h"
#include "DbValueBase.h"

namespace tarvex {

/// A reference to another object, and optionally to an object embedded in
/// it. The data-model type picks the kind of reference (database type 15,
/// 16 or 18); the meta operations treat all three alike.
/// `Base` as for DbValue.
template <class Base = DbValueBase>
class DbReferenceValue : public Base {
 public:
  /// A reference of data id `dataId` to `reference`.
  explicit DbReferenceValue(unsigned short dataId, const DbObjectId& reference = DbObjectId(),
                            unsigned char dataModelType = DbValueModelType::kReference15)
      : Base(dataId, dataModelType), m_Reference(reference) {}

  /// The referenced object.
  DbObjectId getReference() const override { return m_Reference; }
  /// Refers to `reference`; the embedded id stays.
  void setReference(const DbObjectId& reference) override { m_Reference = reference; }
  /// The embedded object within the referenced one; 0 for the object itself.
  std::int32_t getEmbeddedId() const override { return m_EmbeddedId; }
  /// Sets the embedded id.
  void setEmbeddedId(const std::int32_t& embeddedId) override { m_EmbeddedId = embeddedId; }

 private:
  DbObjectId m_Reference;
  std::int32_t m_EmbeddedId = 0;
};

}  // namespace tarvex
