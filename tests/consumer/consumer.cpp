// The provider registers its meta at framework start-up and two threads each
// fill and read back a meta of their own.
#include <cstdio>
#include <thread>

#include "AfModule.h"
#include "DbMetaManager.h"
#include "TarvexKit.h"
#include "parts.h"

// The package must leave the consumer's own standard alone.
static_assert(__cplusplus >= CONSUMER_CPLUSPLUS, "the package lowered the C++ standard");

int main() {
  tarvex::DbTablesScope tables;
  parts::registerProvider();
  const bool moduleLoaded = AfFramework::findModule(EString("Meta")) != nullptr;
  AfFramework::startUp();

  bool ok[2] = {false, false};
  std::thread first([&] { ok[0] = parts::useMetaOnThisThread(7); });
  std::thread second([&] { ok[1] = parts::useMetaOnThisThread(11); });
  first.join();
  second.join();
  const bool allGivenBack = DbMetaManager::getInstance()->check();

  AfFramework::shutDown();
  parts::unregisterProvider();

  const bool passed = moduleLoaded && ok[0] && ok[1] && allGivenBack &&
                      parts::versionMacrosAgree(CONSUMER_EXPECTED_VERSION);
  std::printf("consumer: %s\n", passed ? "1 passed, 0 failed" : "0 passed, 1 failed");
  return passed ? 0 : 1;
}
