#include "TestMetas.h"

#include <string>

#include "TestValues.h"

namespace tarvex_test {

DMMemberBase* testObject(int n) {
  alignas(16) static char storage[16];
  return reinterpret_cast<DMMemberBase*>(&storage[n]);
}

TestMeta::TestMeta(unsigned short typeId, std::vector<ValueFactory> factories)
    : m_TypeId(typeId), m_Factories(std::move(factories)) {}

void TestMeta::fill() {
  for (const ValueFactory& make : m_Factories) addData(make());
}

void TestMeta::setObjectId(const DbObjectId& objectId) {
  DbMetaCore::setObjectId(objectId);
  m_ObjectIds.push_back(objectId);
}

std::uint32_t TestMeta::getContainerSize(unsigned short dataId) const {
  const DbData* value = getData(dataId);
  return value == nullptr ? 0 : value->getContainerCount();
}

void TestMeta::clear() {
  ++m_ClearCount;
  if (m_bLogEvents) events().push_back("clear:" + std::to_string(m_TypeId));
  DbMetaBase::clear();
}

void TestMeta::postReadObject(int stamp, bool created) { m_PostReads.emplace_back(stamp, created); }

PlainTestMeta::PlainTestMeta(unsigned short typeId, std::vector<ValueFactory> factories)
    : TestMeta(typeId, std::move(factories)) {
  fill();
}

DbMetaBase* PlainTestMeta::createMeta() { return new PlainTestMeta(m_TypeId, m_Factories); }

DirectTestMeta::DirectTestMeta(unsigned short typeId, std::vector<ValueFactory> factories)
    : TestMeta(typeId, std::move(factories)) {
  fill();
}

DbMetaBase* DirectTestMeta::createMeta() { return new DirectTestMeta(m_TypeId, m_Factories); }

}  // namespace tarvex_test
