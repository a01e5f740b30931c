/// @file
/// DbReferenceContainerValue: the provider kit's container of references,
/// and the access to one through a ContainerKey.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "DbDataKey.h"
#include "DbMetaBase.h"
#include "DbObjectId.h"
#include "DbReferenceValue.h"
#include "DbStructureKeys.h"
#include "DbValueBase.h"
#include "EAssertAndTrace.h"
#include "EString.h"

namespace tarvex {

/// A container of references (database type 11). It owns its elements,
/// which all carry the container's data id and the element data-model type
/// given at construction. DbMetaCore counts and removes its elements;
/// addReference() (or tarvex::addReference on a meta) adds one by object id,
/// without a meta bound to the referenced object.
class DbReferenceContainerValue : public DbValueBase {
 public:
  /// The element type.
  using Element = DbReferenceValue<>;
  /// The line of the report of a meta without an object id.
  static constexpr int kNoObjectIdLine = 70;

  /// An empty container of data id `dataId` whose elements have
  /// `elementDataModelType` (a reference kind).
  DbReferenceContainerValue(unsigned short dataId, unsigned char elementDataModelType)
      : DbValueBase(dataId, DbValueModelType::kContainer),
        m_ElementDataModelType(elementDataModelType) {}
  /// The same for the data id of `key`; the elements are references of
  /// database type 15 unless `elementDataModelType` names another kind.
  explicit DbReferenceContainerValue(
      ContainerKey key, unsigned char elementDataModelType = DbValueModelType::kReference15)
      : DbReferenceContainerValue(key.dataId(), elementDataModelType) {}
  DbReferenceContainerValue(const DbReferenceContainerValue&) = delete;
  DbReferenceContainerValue& operator=(const DbReferenceContainerValue&) = delete;
  /// Destroys the elements.
  ~DbReferenceContainerValue() override {
    for (Element* element : m_Elements) element->purge();
  }

  /// Number of elements.
  std::uint32_t getContainerCount() const override {
    return static_cast<std::uint32_t>(m_Elements.size());
  }
  /// Nothing to prepare: the elements are always in memory.
  void prepareContainerAccess() override {}
  /// Nothing to release.
  void unprepareContainerAccess() override {}
  /// Starts a walk over the elements; false when there is none.
  bool getFirstElement(DbData** element) override {
    m_Cursor = 0;
    return getNextElement(element);
  }
  /// The next element of the walk; false after the last.
  bool getNextElement(DbData** element) override {
    if (m_Cursor >= m_Elements.size()) return false;
    *element = m_Elements[m_Cursor++];
    return true;
  }
  /// The element data-model type given at construction.
  unsigned char getDataModelTypeOfElements() const override { return m_ElementDataModelType; }
  /// Inserts a reference to the object bound to `meta` (its object id) at
  /// `position`; a position outside 0..count appends. True, unless `meta`
  /// carries no object id (DbObjectId(): not bound, or given back): that is
  /// reported ("VORASSERT (meta with an object id) failed", file
  /// ".\\DbReferenceContainerValue", line kNoObjectIdLine), nothing is
  /// added and the answer is false.
  bool addObject2Container(DbMetaBase& meta, int position) override {
    if (meta.getObjectId() == DbObjectId()) {
      EAssertAndTrace().outputAssertMsgAct(L"VORASSERT (meta with an object id) failed",
                                           EString(L".\\DbReferenceContainerValue"),
                                           kNoObjectIdLine);
      return false;
    }
    return addReference(meta.getObjectId(), position);
  }
  /// Inserts a reference to `objectId` at `position`, as addObject2Container
  /// does for a bound meta. Always true; the container is valid afterwards.
  bool addReference(const DbObjectId& objectId, int position = -1) {
    return addReference(DbEmbeddedObjId(objectId, 0), position);
  }
  /// The same for the object embedded as `reference.getEmbeddedId()` in the
  /// object `reference.getObjectId()` (0: the object itself).
  bool addReference(const DbEmbeddedObjId& reference, int position = -1) {
    auto* element = new Element(getDataId(), reference.getObjectId(), m_ElementDataModelType);
    element->setEmbeddedId(reference.getEmbeddedId());
    const bool inside = position >= 0 && static_cast<std::size_t>(position) <= m_Elements.size();
    try {
      m_Elements.insert(inside ? m_Elements.begin() + position : m_Elements.end(), element);
    } catch (...) {
      element->purge();
      throw;
    }
    switchBitOn(kValidFlag);
    return true;
  }
  /// The elements' texts, as "[a, b]". Always true.
  bool getAsString(EString& out) const override {
    out = EString(L"[");
    EString text;
    for (std::size_t i = 0; i < m_Elements.size(); ++i) {
      if (i != 0) out += L", ";
      m_Elements[i]->getAsString(text);
      out += text;
    }
    out += L"]";
    return true;
  }
  /// Empties the container and takes the valid flag away, as DbData's
  /// clear() does: a later write starts from no element, so none of the
  /// cleared ones comes back with it.
  bool clear() override {
    resetValue();
    return DbValueBase::clear();
  }
  /// Empty again, as constructed.
  void resetValue() override {
    for (Element* element : m_Elements) element->purge();
    m_Elements.clear();
    m_Cursor = 0;
  }

  /// Destroys the element at `position`; false if there is none. The
  /// container is valid after a removal.
  bool removeElement(int position) {
    if (position < 0 || static_cast<std::size_t>(position) >= m_Elements.size()) return false;
    m_Elements[static_cast<std::size_t>(position)]->purge();
    m_Elements.erase(m_Elements.begin() + position);
    switchBitOn(kValidFlag);
    return true;
  }
  /// The element at `position`, or null.
  Element* element(std::size_t position) const {
    return position < m_Elements.size() ? m_Elements[position] : nullptr;
  }

 private:
  unsigned char m_ElementDataModelType;
  std::vector<Element*> m_Elements;
  std::size_t m_Cursor = 0;
};

/// Inserts a reference to `objectId` at `position` (outside 0..count:
/// appended) into the DbReferenceContainerValue of `dataId` in `meta`;
/// false when the meta has no such value.
inline bool addReference(DbMetaBase& meta, unsigned short dataId, const DbObjectId& objectId,
                         int position = -1) {
  auto* container = dynamic_cast<DbReferenceContainerValue*>(meta.getData(dataId));
  return container != nullptr && container->addReference(objectId, position);
}

/// @cond TARVEX_INTERNAL
namespace internal {
// The kit's container under `key`; null when there is none, reported when
// the value is of another kind.
inline DbReferenceContainerValue* containerOf(const DbMetaBase& meta, ContainerKey key) {
  DbData* value = meta.getData(key.dataId());
  if (value == nullptr) return nullptr;
  auto* container = dynamic_cast<DbReferenceContainerValue*>(value);
  if (container == nullptr) reportStructureKeyKind();
  return container;
}
// The container a write through `key` goes to, as containerOf; a missing
// value is also reported, as a write lost (tarvex::set's line).
inline DbReferenceContainerValue* containerToWrite(const DbMetaBase& meta, ContainerKey key) {
  DbReferenceContainerValue* container = containerOf(meta, key);
  if (container == nullptr && meta.getData(key.dataId()) == nullptr) {
    reportMissingValue(kKeyMissingSetLine);
  }
  return container;
}
}  // namespace internal
/// @endcond

/// Calls `visit` with each reference of the container under `key` in
/// `meta`, first to last: as `visit(const DbObjectId&)` where that compiles,
/// else as `visit(const DbEmbeddedObjId&)`, which carries the embedded id
/// too. False, nothing called, when `meta`
/// has no such value. A value that is no DbReferenceContainerValue is
/// reported ("VORASSERT (value of the key's kind) failed", file
/// ".\\DbStructureKeys", line kStructureKeyKindLine) and answers false, as
/// in every operation through a ContainerKey. `visit` should leave this
/// container as it is: the walk goes on by position, so a reference removed
/// or inserted at or before the current one shifts what the walk meets next
/// (it never runs past the end). An exception from `visit` passes.
template <class Visit>
bool forEachReference(const DbMetaBase& meta, ContainerKey key, Visit&& visit) {
  const DbReferenceContainerValue* container = internal::containerOf(meta, key);
  if (container == nullptr) return false;
  for (std::size_t position = 0; position < container->getContainerCount(); ++position) {
    const DbReferenceContainerValue::Element& element = *container->element(position);
    if constexpr (std::is_invocable_v<Visit&, const DbObjectId&>) {
      visit(element.getReference());
    } else {
      visit(DbEmbeddedObjId(element.getReference(), element.getEmbeddedId()));
    }
  }
  return true;
}

/// The references of the container under `key` in `meta`, first to last;
/// empty without one. Only the object ids: see referencesWithEmbeddedIds.
inline std::vector<DbObjectId> references(const DbMetaBase& meta, ContainerKey key) {
  std::vector<DbObjectId> ids;
  forEachReference(meta, key, [&ids](const DbObjectId& id) { ids.push_back(id); });
  return ids;
}

/// The references of the container under `key` in `meta`, first to last,
/// each with its embedded id (0: the object itself); empty without one.
inline std::vector<DbEmbeddedObjId> referencesWithEmbeddedIds(const DbMetaBase& meta,
                                                              ContainerKey key) {
  std::vector<DbEmbeddedObjId> ids;
  forEachReference(meta, key, [&ids](const DbEmbeddedObjId& id) { ids.push_back(id); });
  return ids;
}

/// The number of references in the container under `key` in `meta`; 0
/// without one.
inline std::uint32_t referenceCount(const DbMetaBase& meta, ContainerKey key) {
  const DbReferenceContainerValue* container = internal::containerOf(meta, key);
  return container == nullptr ? 0 : container->getContainerCount();
}

/// Inserts a reference to `reference` (a DbObjectId, or a DbEmbeddedObjId
/// for an object embedded in it) at `position` (outside 0..count:
/// appended) into the container under `key` in `meta`; the container is
/// valid afterwards. False without one, after a report when `meta` has no
/// value of that data id (as tarvex::set's, line kKeyMissingSetLine).
template <class Reference, class = std::enable_if_t<std::is_same_v<Reference, DbObjectId> ||
                                                    std::is_same_v<Reference, DbEmbeddedObjId>>>
bool addReference(DbMetaBase& meta, ContainerKey key, const Reference& reference,
                  int position = -1) {
  DbReferenceContainerValue* container = internal::containerToWrite(meta, key);
  return container != nullptr && container->addReference(reference, position);
}

/// Removes the reference at `position` from the container under `key` in
/// `meta`; false for a position outside 0..count-1, and without one, after
/// a report when `meta` has no value of that data id (as addReference's).
inline bool removeReference(DbMetaBase& meta, ContainerKey key, int position) {
  DbReferenceContainerValue* container = internal::containerToWrite(meta, key);
  return container != nullptr && container->removeElement(position);
}

}  // namespace tarvex
