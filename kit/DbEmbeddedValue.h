/// @file
/// DbEmbeddedValue: the provider kit's embedded object.
#pragma once

#include "DbMetaBase.h"
#include "DbMetaManager.h"
#include "DbValueBase.h"

namespace tarvex {

/// An embedded object (database type 13): a part of the owning object,
/// described by a meta of its own type.
///
/// getMetaForEmbeddedObject answers with the value's own meta, which holds
/// the embedded object's values and which the value owns. getMeta borrows
/// a working meta of the embedded type from the process-wide registry, so
/// that type must be registered before any type embedding it; ungetMeta
/// gives it back.
class DbEmbeddedValue : public DbValueBase {
 public:
  /// Takes ownership of `meta` (REQUIRES: non-null). The embedded type is
  /// the meta's type id.
  DbEmbeddedValue(unsigned short dataId, DbMetaBase* meta)
      : DbValueBase(dataId, DbValueModelType::kEmbeddedObject), m_pMeta(meta) {}
  DbEmbeddedValue(const DbEmbeddedValue&) = delete;
  DbEmbeddedValue& operator=(const DbEmbeddedValue&) = delete;
  /// Destroys the owned meta.
  ~DbEmbeddedValue() override { delete m_pMeta; }

  /// A working meta of the embedded type from the registry, or null.
  DbMetaBase* getMeta() override {
    return DbMetaManager::getInstance()->getMeta(m_pMeta->getTypeId());
  }
  /// Gives back a meta obtained with getMeta; false for null.
  bool ungetMeta(DbMetaBase* meta) override {
    if (meta == nullptr) return false;
    meta->clear();
    return true;
  }
  /// The value's own meta.
  DbMetaBase* getMetaForEmbeddedObject() const override { return m_pMeta; }

 private:
  DbMetaBase* m_pMeta;
};

}  // namespace tarvex
