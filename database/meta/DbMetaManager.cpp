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

DbMetaBase* DbMetaManager::getMeta(unsigned short typeId) const { return getMetaLocal(typeId); }
