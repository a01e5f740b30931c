#include "AfInterfaceManager.h"

#include <algorithm>

IAfInterface::~IAfInterface() = default;

void IAfInterface::releaseInstance() {
  if (!isSharedInstance()) delete this;
}

// The name is written by whichever thread creates the instance, and a shared
// instance is created by many: it is read and written under the manager's lock.
void IAfInterface::queryInterfaceName(EString& name) const {
  AfInterfaceManager* manager = AfInterfaceManager::getInstance();
  std::lock_guard<std::mutex> lock(manager->m_Mutex);
  name = m_ImplementationName;
}

bool IAfInterface::isSharedInstance() const { return false; }

AfInterfaceManager* AfInterfaceManager::getInstance() {
  static auto* manager = new AfInterfaceManager;  // outlives every module
  return manager;
}

void AfInterfaceManager::registerImplementation(const EString& name, Factory factory) {
  std::lock_guard<std::mutex> lock(m_Mutex);
  m_Factories[name] = std::move(factory);
}

bool AfInterfaceManager::unregisterImplementation(const EString& name) {
  std::lock_guard<std::mutex> lock(m_Mutex);
  return m_Factories.erase(name) != 0;
}

IAfInterface* AfInterfaceManager::createInstance(const EString& name, const EString& file,
                                                 int line) {
  Factory factory;
  {
    std::lock_guard<std::mutex> lock(m_Mutex);
    EString caller(file);
    caller += L":";
    caller += EString().set(line);
    m_LastCaller = caller;
    auto it = m_Factories.find(name);
    if (it == m_Factories.end()) return nullptr;
    factory = it->second;
  }
  // The factory may itself use the manager, so it runs unlocked.
  IAfInterface* instance = factory();
  if (instance != nullptr) {
    std::lock_guard<std::mutex> lock(m_Mutex);
    instance->m_ImplementationName = name;
  }
  return instance;
}

bool AfInterfaceManager::isKnown(const EString& name, bool /*loadIfMissing*/,
                                 bool /*includeShared*/) const {
  std::lock_guard<std::mutex> lock(m_Mutex);
  return m_Factories.count(name) != 0;
}

EString AfInterfaceManager::getLastCaller() const {
  std::lock_guard<std::mutex> lock(m_Mutex);
  return m_LastCaller;
}

AfInterfaceNameManager* AfInterfaceNameManager::instance() {
  static auto* manager = new AfInterfaceNameManager;  // outlives every module
  return manager;
}

void AfInterfaceNameManager::registerInterfaceName(const EString& interfaceName,
                                                   const EString& implementationName) {
  std::lock_guard<std::mutex> lock(m_Mutex);
  std::vector<EString>& names = m_Names[interfaceName];
  if (std::find(names.begin(), names.end(), implementationName) == names.end()) {
    names.push_back(implementationName);
  }
}

bool AfInterfaceNameManager::unregisterInterfaceName(const EString& interfaceName,
                                                     const EString& implementationName) {
  std::lock_guard<std::mutex> lock(m_Mutex);
  auto it = m_Names.find(interfaceName);
  if (it == m_Names.end()) return false;
  auto& names = it->second;
  auto pos = std::find(names.begin(), names.end(), implementationName);
  if (pos == names.end()) return false;
  names.erase(pos);
  return true;
}

unsigned int AfInterfaceNameManager::getRegisterdInterfaceNames(const EString& interfaceName,
                                                                std::vector<EString>& names) const {
  std::lock_guard<std::mutex> lock(m_Mutex);
  names.clear();
  auto it = m_Names.find(interfaceName);
  if (it != m_Names.end()) names = it->second;
  return static_cast<unsigned int>(names.size());
}
