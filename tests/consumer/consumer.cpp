// One meta class and one provider on the installed provider kit: the
// provider registers its meta at framework start-up and two threads each
// fill and read back a meta of their own.
#include <cstdio>
#include <cstring>
#include <thread>

#include "AfModule.h"
#include "TarvexKit.h"
#include "TarvexVersion.h"

// The package must leave the consumer's own standard alone.
static_assert(__cplusplus >= CONSUMER_CPLUSPLUS, "the package lowered the C++ standard");

namespace {

constexpr unsigned short kPartType = 42;
constexpr unsigned short kCountId = 60010;

class PartMeta final : public tarvex::DbMetaImpl<PartMeta, kPartType, true> {
 public:
  PartMeta() { addData(new tarvex::DbLongValue(kCountId)); }
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
  static int object;  // any non-null object will do for binding
  tarvex::DbBorrowedMeta meta(kPartType, reinterpret_cast<DMMemberBase*>(&object));
  return meta && meta->setDataLong(kCountId, count) && meta->getData(kCountId)->getLong() == count;
}

}  // namespace

int main() {
  tarvex::DbTablesScope tables;
  tarvex::registerMetaTable<PartProvider>(L"PartProvider");
  AfFramework::startUp();

  bool ok[2] = {false, false};
  std::thread first([&] { ok[0] = useMetaOnThisThread(7); });
  std::thread second([&] { ok[1] = useMetaOnThisThread(11); });
  first.join();
  second.join();
  const bool allGivenBack = DbMetaManager::getInstance()->check();

  AfFramework::shutDown();
  tarvex::unregisterMetaTable(L"PartProvider");

  const bool passed = ok[0] && ok[1] && allGivenBack && versionMacrosAgree();
  std::printf("consumer: %s\n", passed ? "1 passed, 0 failed" : "0 passed, 1 failed");
  return passed ? 0 : 1;
}
