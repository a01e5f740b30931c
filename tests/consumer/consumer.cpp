// One value class, one meta class and one provider, written against the
// installed headers: the provider registers its meta at framework start-up
// and two threads each fill and read back a meta of their own.
#include <cstdio>
#include <cstring>
#include <thread>

#include "AfInterfaceManager.h"
#include "AfModule.h"
#include "DbData.h"
#include "DbMetaBase.h"
#include "DbMetaManager.h"
#include "IDbMetaTable.h"
#include "TarvexVersion.h"

// The package must leave the consumer's own standard alone.
static_assert(__cplusplus >= CONSUMER_CPLUSPLUS, "the package lowered the C++ standard");

namespace {

constexpr unsigned char kLongModelType = 4;
constexpr unsigned short kPartType = 42;
constexpr unsigned short kCountId = 60010;

class CountValue : public DbData {
 public:
  explicit CountValue(unsigned short dataId) : DbData(dataId) {}
  std::int32_t getLong() const override { return m_Count; }
  void setLong(std::int32_t count) override { m_Count = count; }
  bool valid() const override { return true; }
  unsigned char getDataModelType() const override { return kLongModelType; }

 private:
  std::int32_t m_Count = 0;
};

class PartMeta : public DbMetaBase {
 public:
  PartMeta() { addData(new CountValue(kCountId)); }
  unsigned short getTypeId() const override { return kPartType; }
  void setObjectId(const DbObjectId& id) override { m_Id = id; }
  bool setObject(DMMemberBase* object, unsigned short mode) override {
    return DbMetaBase::setObject(object, mode);
  }
  const DbObjectId& getObjectId() const override { return m_Id; }
  DMMemberBase* createObject() override { return nullptr; }
  void releaseObject() override {}
  bool removeObjectFromContainer(unsigned short, int) override { return false; }
  std::uint32_t getContainerSize(unsigned short) const override { return 0; }
  DbMetaBase* createMeta() override { return new PartMeta; }
  bool isModified() const override { return false; }
  void setModified(bool) override {}

 protected:
  bool supportDirectDataPointer() const override { return true; }

 private:
  DbObjectId m_Id;
};

class PartProvider : public IDbMetaTable {
 public:
  bool initTable() override { return DbMetaManager::getInstance()->registerMeta(new PartMeta); }
  bool exitTable() override { return true; }
};

bool versionMacrosAgree() {
  char joined[32];
  std::snprintf(joined, sizeof joined, "%d.%d.%d", TARVEX_VERSION_MAJOR, TARVEX_VERSION_MINOR,
                TARVEX_VERSION_PATCH);
  return std::strcmp(joined, TARVEX_VERSION_STRING) == 0 &&
         std::strcmp(TARVEX_VERSION_STRING, CONSUMER_EXPECTED_VERSION) == 0;
}

bool useMetaOnThisThread(std::int32_t count) {
  DbMetaBase* meta = DbMetaManager::getInstance()->getMeta(kPartType);
  if (meta == nullptr) return false;
  static int object;  // any non-null object will do for binding
  meta->setObject(reinterpret_cast<DMMemberBase*>(&object), 0);
  const bool written = meta->setDataLong(kCountId, count);
  const bool readBack = written && meta->getData(kCountId)->getLong() == count;
  meta->clear();
  return readBack;
}

}  // namespace

int main() {
  DbData::init();
  DbDataModel2DataBaseTypeMap::addDataModelType(kLongModelType, 4);
  AfInterfaceManager::getInstance()->registerImplementation(EString("PartProvider"),
                                                            [] { return new PartProvider; });
  AfInterfaceNameManager::instance()->registerInterfaceName(EString("IDbMetaTable"),
                                                            EString("PartProvider"));
  DbMetaManager::getInstance();
  AfFramework::startUp();

  bool ok[2] = {false, false};
  std::thread first([&] { ok[0] = useMetaOnThisThread(7); });
  std::thread second([&] { ok[1] = useMetaOnThisThread(11); });
  first.join();
  second.join();
  const bool allGivenBack = DbMetaManager::getInstance()->check();

  AfFramework::shutDown();
  DbMetaManager::deinit();
  DbData::deinit();
  DbDataModel2DataBaseTypeMap::deinit();

  const bool passed = ok[0] && ok[1] && allGivenBack && versionMacrosAgree();
  std::printf("consumer: %s\n", passed ? "1 passed, 0 failed" : "0 passed, 1 failed");
  return passed ? 0 : 1;
}
