/// @file
/// DbReferenceContainerValue: the provider kit's container of references.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "DbMetaBase.h"
#include "DbReferenceValue.h"
#include "DbValueBase.h"

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

  /// An empty container of data id `dataId` whose elements have
  /// `elementDataModelType` (a reference kind).
  DbReferenceContainerValue(unsigned short dataId, unsigned char elementDataModelType)
      : DbValueBase(dataId, DbValueModelType::kContainer),
        m_ElementDataModelType(elementDataModelType) {}
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
  /// `position`; a position outside 0..count appends. Always true.
  bool addObject2Container(DbMetaBase& meta, int position) override {
    return addReference(meta.getObjectId(), position);
  }
  /// Inserts a reference to `objectId` at `position`, as addObject2Container
  /// does for a bound meta. Always true.
  bool addReference(const DbObjectId& objectId, int position = -1) {
    auto* element = new Element(getDataId(), objectId, m_ElementDataModelType);
    const bool inside = position >= 0 && static_cast<std::size_t>(position) <= m_Elements.size();
    try {
      m_Elements.insert(inside ? m_Elements.begin() + position : m_Elements.end(), element);
    } catch (...) {
      element->purge();
      throw;
    }
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
  /// Empty again, as constructed.
  void resetValue() override {
    for (Element* element : m_Elements) element->purge();
    m_Elements.clear();
    m_Cursor = 0;
  }

  /// Destroys the element at `position`; false if there is none.
  bool removeElement(int position) {
    if (position < 0 || static_cast<std::size_t>(position) >= m_Elements.size()) return false;
    m_Elements[static_cast<std::size_t>(position)]->purge();
    m_Elements.erase(m_Elements.begin() + position);
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

}  // namespace tarvex
