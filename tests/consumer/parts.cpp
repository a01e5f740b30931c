#include "parts.h"

#include <cstdio>
#include <cstring>

#include "TarvexKit.h"
#include "TarvexVersion.h"

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

}  // namespace

namespace parts {

void registerProvider() { tarvex::registerMetaTable<PartProvider>(L"PartProvider"); }

void unregisterProvider() { tarvex::unregisterMetaTable(L"PartProvider"); }

bool useMetaOnThisThread(std::int32_t count) {
  static int object;  // any non-null object will do for binding
  tarvex::DbBorrowedMeta meta(kPartType, reinterpret_cast<DMMemberBase*>(&object));
  return meta && meta->setDataLong(kCountId, count) && meta->getData(kCountId)->getLong() == count;
}

bool versionMacrosAgree(const char* expected) {
  char joined[32];
  std::snprintf(joined, sizeof joined, "%d.%d.%d", TARVEX_VERSION_MAJOR, TARVEX_VERSION_MINOR,
                TARVEX_VERSION_PATCH);
  return std::strcmp(joined, TARVEX_VERSION_STRING) == 0 &&
         std::strcmp(TARVEX_VERSION_STRING, expected) == 0;
}

}  // namespace parts
