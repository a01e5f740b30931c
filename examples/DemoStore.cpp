#include "DemoStore.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <vector>

#include "DMMemberBase.h"
#include "DbMetaManager.h"
#include "DemoValues.h"
#include "SampleMetas.h"
#include "TarvexKit.h"

namespace tarvex_demo {

using namespace tarvex_sample;

namespace {

// String and time are the kit's kinds; the library names no code for them.
tarvex_store::StoredKinds kitKinds() {
  tarvex_store::StoredKinds kinds;
  kinds.stringType = static_cast<unsigned char>(
      DbDataModel2DataBaseTypeMap::getDatabaseType(tarvex::DbValueModelType::kString));
  kinds.timeType = static_cast<unsigned char>(
      DbDataModel2DataBaseTypeMap::getDatabaseType(tarvex::DbValueModelType::kTime));
  return kinds;
}

std::string temporaryFile() {
  std::string name = (std::filesystem::temp_directory_path() / "tarvex-demo-XXXXXX").string();
  const int descriptor = mkstemp(name.data());
  if (descriptor < 0) {
    throw tarvex_store::StoreError(name + ": cannot make a temporary store file");
  }
  close(descriptor);
  return name;
}

// Compares the object loaded into `meta` with the values of its request.
void compare(Tally& tally, DbMetaBase& meta, const DbObjectId& id) {
  const Request request = requestOf(id.getObjectNumber());
  const unsigned short type = id.getTypeId();
  if (type == kAssemblyType && movesAssembly(request.index)) {
    const DbData* own = meta.getData(data::kObjectId);
    tally.value(type, data::kObjectId, id,
                own != nullptr ? std::optional(own->getDbObjectId()) : std::nullopt);
    meta.changeDatabaseIds(kMovedDatabase, kDatabase);
    // The parts were added at the front, one after another.
    const std::vector<DbObjectId> parts = partsOf(request);
    std::vector<DbObjectId> found;
    DbData* container = meta.getData(data::kAssemblyParts);
    DbData* element = nullptr;
    for (bool more = container != nullptr && container->getFirstElement(&element); more;
         more = container->getNextElement(&element)) {
      found.push_back(element->getReference());
    }
    tally.check(found.size() == parts.size(), type,
                "parts stored, not as many as added:", static_cast<long long>(found.size()));
    for (std::size_t j = 0; j < parts.size() && j < found.size(); ++j) {
      tally.value(type, data::kAssemblyParts, parts[parts.size() - 1 - j], std::optional(found[j]),
                  static_cast<long long>(j));
    }
  }
  readValues(tally, meta, request);
  if (type == kAssemblyType) {
    DbMetaBase* placement = meta.getMetaForEmbeddedObject(data::kAssemblyPlacement);
    tally.check(placement != nullptr, type, "no embedded placement in data id",
                data::kAssemblyPlacement);
    if (placement != nullptr) {
      readValues(tally, *placement, request);
      placement->clear();
    }
  }
}

}  // namespace

DemoStore::DemoStore(const std::string& path) : m_Path(path), m_bTemporary(path.empty()) {
  if (m_bTemporary) m_Path = temporaryFile();
  try {
    m_Store = std::make_unique<tarvex_store::ObjectStore>(m_Path, kitKinds());
  } catch (...) {
    if (m_bTemporary) std::remove(m_Path.c_str());
    throw;
  }
}

DemoStore::~DemoStore() {
  m_Store.reset();
  if (!m_bTemporary) return;
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((m_Path + suffix).c_str());
}

std::uint64_t DemoStore::verify(Tally& tally) {
  const std::unique_ptr<tarvex_store::StoreConnection> connection = m_Store->connect();
  const std::vector<DbObjectId> ids = connection->objects();
  for (const DbObjectId& id : ids) {
    DbMetaBase* meta = DbMetaManager::getInstance()->getMeta(id.getTypeId());
    tally.check(meta != nullptr, id.getTypeId(), "no meta for a stored object, type",
                id.getTypeId());
    if (meta == nullptr) continue;
    DMMemberBase object(id);
    meta->setObject(&object, 0);
    try {
      const bool found = connection->load(*meta);
      tally.check(found, id.getTypeId(), "a listed object was not found, number",
                  id.getObjectNumber());
      if (found) compare(tally, *meta, id);
    } catch (...) {
      tarvex_store::StoreConnection::finish(*meta);
      meta->clear();
      throw;
    }
    tarvex_store::StoreConnection::finish(*meta);
    meta->clear();
  }
  return ids.size();
}

}  // namespace tarvex_demo
