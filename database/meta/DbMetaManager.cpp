// DbMetaManager, the process-wide registry, and the fall-back of every other
// registry to it: kept here so that the base class knows nothing of it.
#include "DbMetaManager.h"

DbMetaManager* DbMetaManager::s_pInstance = nullptr;

DbMetaManager::DbMetaManager() = default;
DbMetaManager::DbMetaManager(const DbMetaManager& other) = default;
DbMetaManager& DbMetaManager::operator=(const DbMetaManager& other) = default;
DbMetaManager::~DbMetaManager() = default;

DbMetaManager* DbMetaManager::getInstance() {
  if (s_pInstance == nullptr) s_pInstance = new DbMetaManager;
  return s_pInstance;
}

void DbMetaManager::deinit() {
  if (s_pInstance == nullptr) return;
  delete s_pInstance;
  s_pInstance = nullptr;
}

void DbMetaManager::dumpMetas() { getInstance()->dump(); }

DbMetaBase* DbMetaManagerBase::getMeta(unsigned short typeId) const {
  if (DbMetaBase* meta = getMetaLocal(typeId)) return meta;
  // The singleton's override does not fall back, so this goes one level.
  return DbMetaManager::getInstance()->getMeta(typeId);
}
