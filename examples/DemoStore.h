// DemoStore: where tarvex-demo keeps its objects, the sample storage layer
// on SQLite, in a temporary file or in the one --store names.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "DemoTally.h"
#include "ObjectStore.h"

namespace tarvex_demo {

// The store file, open; a temporary one is removed with the object.
class DemoStore {
 public:
  // Opens `path`, or a new temporary file when it is empty. Throws
  // tarvex_store::StoreError when the file cannot serve as a store.
  explicit DemoStore(const std::string& path);
  ~DemoStore();
  DemoStore(const DemoStore&) = delete;
  DemoStore& operator=(const DemoStore&) = delete;

  const tarvex_store::ObjectStore& store() const { return *m_Store; }
  bool temporary() const { return m_bTemporary; }

  // Reads every stored object back through a working meta bound to a new
  // object, and compares its values with those its request wrote (a moved
  // assembly's after moving it back in memory); returns how many there
  // were. Uses one meta of a type at a time, on the calling thread.
  std::uint64_t verify(Tally& tally);

 private:
  std::string m_Path;
  bool m_bTemporary = false;
  std::unique_ptr<tarvex_store::ObjectStore> m_Store;
};

}  // namespace tarvex_demo
