// Uses the registry and nothing of the module's own source file: linked
// against a static Tarvex, the module object must exist all the same.
#include <cstdio>

#include "AfModule.h"
#include "DbMetaManager.h"

int main() {
  const bool registry = DbMetaManager::getInstance() != nullptr;
  DbMetaManager::deinit();
  const bool module = AfFramework::findModule(EString("Meta")) != nullptr;
  std::printf("module-check: %s\n",
              registry && module ? "1 passed, 0 failed" : "0 passed, 1 failed");
  return registry && module ? 0 : 1;
}
