#include "AfModule.h"

#include <algorithm>
#include <mutex>

namespace {

struct ModuleList {
  std::mutex mutex;
  std::vector<AfModule*> modules;  // construction order
};

ModuleList& moduleList() {
  static auto* list = new ModuleList;  // modules unregister during static destruction
  return *list;
}

}  // namespace

AfModule::AfModule(const wchar_t* name, bool optional, double loadOrder)
    : m_Name(name != nullptr ? name : L""), m_bOptional(optional), m_LoadOrder(loadOrder) {
  ModuleList& list = moduleList();
  std::lock_guard<std::mutex> lock(list.mutex);
  list.modules.push_back(this);
}

AfModule::~AfModule() {
  ModuleList& list = moduleList();
  std::lock_guard<std::mutex> lock(list.mutex);
  list.modules.erase(std::remove(list.modules.begin(), list.modules.end(), this),
                     list.modules.end());
}

bool AfModule::init() { return true; }
bool AfModule::initGui() { return true; }
bool AfModule::preExit() { return true; }
bool AfModule::exit() { return true; }

void AfModule::getErrorString(unsigned int code, EString& text) const {
  text = m_Name;
  text += L": error ";
  text += EString().set(code);
}

void AfModule::onIdle() {}
void AfModule::onSettingsChanged() {}

std::vector<AfModule*> AfFramework::knownModules() {
  ModuleList& list = moduleList();
  std::vector<AfModule*> modules;
  {
    std::lock_guard<std::mutex> lock(list.mutex);
    modules = list.modules;
  }
  std::stable_sort(modules.begin(), modules.end(), [](const AfModule* a, const AfModule* b) {
    return a->getLoadOrder() < b->getLoadOrder();
  });
  return modules;
}

AfModule* AfFramework::findModule(const EString& name) {
  for (AfModule* module : knownModules()) {
    if (module->getModuleName() == name) return module;
  }
  return nullptr;
}

bool AfFramework::startUp() {
  bool ok = true;
  for (AfModule* module : knownModules()) {
    module->initTrace();
    bool started = module->init();
    started = module->initGui() && started;
    if (!started && !module->isOptional()) ok = false;
  }
  return ok;
}

bool AfFramework::shutDown() {
  std::vector<AfModule*> modules = knownModules();
  bool ok = true;
  for (auto it = modules.rbegin(); it != modules.rend(); ++it) {
    ok = (*it)->preExit() && ok;
  }
  for (auto it = modules.rbegin(); it != modules.rend(); ++it) {
    ok = (*it)->exit() && ok;
  }
  return ok;
}
