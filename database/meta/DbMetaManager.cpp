// DbMetaManager, the process-wide registry, and the fall-back of every other
// registry to it: kept here so that the base class knows nothing of it.
#include "DbMetaManager.h"

DbMetaManager* DbMetaManager::s_pInstance = nullptr;

namespace {
// The singleton while deinit deletes it: no longer reachable through
// getInstance(), but still the one whose remains dumpMetas counts.
DbMetaManager* g_pDeleting = nullptr;
}  // namespace

DbMetaManager::DbMetaManager() = default;
DbMetaManager::DbMetaManager(const DbMetaManager& other) = default;
DbMetaManager& DbMetaManager::operator=(const DbMetaManager& other) = default;
DbMetaManager::~DbMetaManager() = default;

DbMetaManager* DbMetaManager::getInstance() {
  if (s_pInstance == nullptr) {
    s_pInstance = new DbMetaManager;
  }
  return s_pInstance;
}

void DbMetaManager::deinit() {
  if (s_pInstance == nullptr || g_pDeleting != nullptr) return;
  // Out of reach before it goes: a trace sink that asks for the singleton
  // while the teardown traces are written gets a new, empty one.
  g_pDeleting = s_pInstance;
  s_pInstance = nullptr;
  delete g_pDeleting;
  g_pDeleting = nullptr;
}

void DbMetaManager::dumpMetas() {
  if (s_pInstance == nullptr && g_pDeleting != nullptr) {
    g_pDeleting->dump();
    return;
  }
  getInstance()->dump();
}

DbMetaBase* DbMetaManagerBase::getMeta(unsigned short typeId) const {
  if (DbMetaBase* meta = getMetaLocal(typeId)) return meta;
  // The singleton in teardown runs this (its own override has gone); it
  // answers as an empty registry, without making a new singleton.
  if (this == g_pDeleting) return nullptr;
  // The singleton's override does not fall back, so this goes one level.
  return DbMetaManager::getInstance()->getMeta(typeId);
}
