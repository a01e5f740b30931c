// The smallest complete provider: one value kind, one meta, one meta table,
// and an application life around them on two threads.
#include <cstdio>
#include <thread>

#include "DMMemberBase.h"
#include "ETraceState.h"
#include "TarvexKit.h"

//! [ids]
constexpr unsigned short kPartType = 42;  // below 128: counted per type in the dump
// Data ids of a type lie in 60000..65534; a key also names the value's kind.
constexpr tarvex::DataKey<EString> kPartName{60010};
constexpr tarvex::DataKey<std::int32_t> kPartCount{60011};
//! [ids]

//! [meta]
class PartMeta final : public tarvex::DbMetaImpl<PartMeta, kPartType, true, DMMemberBase> {
 public:
  PartMeta() {
    addData(new tarvex::DbStringValue(kPartName));
    addData(new tarvex::DbLongValue(kPartCount));
  }
};
//! [meta]

//! [table]
// Start-up registers one new PartMeta with the process-wide registry.
using PartTable = tarvex::DbMetaTable<PartMeta>;
//! [table]

//! [use]
bool useParts(std::int32_t count) {
  DMMemberBase part(DbObjectId(kPartType, 1, count));
  tarvex::DbBorrowedMeta meta(kPartType, &part);  // given back at the end of the scope
  if (!meta) return false;
  meta.set(kPartName, L"bolt");  // every value is written: a borrowed meta is recycled
  meta.set(kPartCount, count);
  return meta.get(kPartCount) == count && meta->getObjectId() == part.getObjectId();
}
//! [use]

//! [main]
int main() {
  tarvex::DbTablesScope tables;
  tarvex::DbMetaTableScope<PartTable> table(L"PartTable");
  tarvex::DbFrameworkScope framework(tables);  // starts up (PartTable registers); shut down last

  bool ok[2] = {false, false};
  std::thread first([&] { ok[0] = useParts(7); });
  std::thread second([&] { ok[1] = useParts(11); });
  first.join();
  second.join();
  const bool allGivenBack = DbMetaManager::getInstance()->check();
  ETraceState::switchTrace(L"Meta", true);  // the dump, and metas not given back, are traces
  DbMetaManager::dumpMetas();
  std::printf("minimal: %s\n", ok[0] && ok[1] && allGivenBack ? "ok" : "FAILED");
  return ok[0] && ok[1] && allGivenBack ? 0 : 1;
}
//! [main]
