#include "TestValues.h"

#include <sstream>

#include "DbValueBase.h"

namespace tarvex_test {

void registerTestDataModelTypes() { tarvex::registerValueModelTypes(); }

std::vector<std::string>& events() {
  thread_local std::vector<std::string> log;
  return log;
}

bool TestValue::isDefault(const DbDataSchemaMap* /*schemaMap*/) const { return m_bIsDefault; }

void TestValue::setDefault(const DbDataSchemaMap* schemaMap) {
  m_pDefaultedWith = schemaMap;
  ++m_DefaultCount;
}

bool TestValue::getAsString(EString& out) const {
  out = text();
  return !m_bAsStringFails;
}

namespace {

template <typename T>
std::wstring numberText(T value) {
  std::wostringstream out;
  out << value;
  return out.str();
}

std::wstring objectIdText(const DbObjectId& id) {
  return numberText(id.getTypeId()) + L"/" + numberText(id.getDatabaseId()) + L"/" +
         numberText(id.getObjectNumber());
}

}  // namespace

std::wstring BoolValue::text() const { return value() ? L"true" : L"false"; }
std::wstring CharValue::text() const { return std::wstring(1, static_cast<wchar_t>(value())); }
std::wstring ShortValue::text() const { return numberText(value()); }
std::wstring LongValue::text() const { return numberText(value()); }
std::wstring FloatValue::text() const { return numberText(value()); }
std::wstring DoubleValue::text() const { return numberText(value()); }
std::wstring PointValue::text() const {
  return L"(" + numberText(value().x()) + L"," + numberText(value().y()) + L")";
}
std::wstring Point3DValue::text() const {
  return L"(" + numberText(value().x()) + L"," + numberText(value().y()) + L"," +
         numberText(value().z()) + L")";
}
std::wstring StringValue::text() const { return value(); }
std::wstring TimeValue::text() const { return numberText(value().seconds()); }
std::wstring ObjectIdValue::text() const { return objectIdText(value()); }

void ReferenceValue::setReference(const DbObjectId& reference) {
  tarvex::DbReferenceValue<TestValue>::setReference(reference);
  ++m_WriteCount;
}

std::wstring ReferenceValue::text() const { return L"->" + objectIdText(getReference()); }

ContainerValue::~ContainerValue() {
  for (DbData* element : m_Elements) {
    if (element != nullptr) element->purge();
  }
}

void ContainerValue::prepareContainerAccess() {
  events().push_back("prepare:" + std::to_string(getDataId()));
}

void ContainerValue::unprepareContainerAccess() {
  events().push_back("unprepare:" + std::to_string(getDataId()));
}

bool ContainerValue::getFirstElement(DbData** element) {
  m_Cursor = 0;
  return getNextElement(element);
}

bool ContainerValue::getNextElement(DbData** element) {
  if (m_Cursor >= m_Elements.size()) return false;
  *element = m_Elements[m_Cursor++];
  return true;
}

bool ContainerValue::addObject2Container(DbMetaBase& meta, int position) {
  m_Added.emplace_back(&meta, position);
  return m_bAddObjectResult;
}

std::wstring ContainerValue::text() const { return L"[" + numberText(m_Elements.size()) + L"]"; }

bool EmbeddedValue::ungetMeta(DbMetaBase* meta) {
  ++m_UngetCount;
  return meta == m_pMeta;
}

std::wstring EmbeddedValue::text() const { return L"{embedded}"; }

}  // namespace tarvex_test
