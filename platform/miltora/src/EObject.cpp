#include "EObject.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>
#include <ostream>
#include <typeinfo>

EObject::~EObject() = default;

void EObject::getClassName(EString& name) const {
  const char* mangled = typeid(*this).name();
  int status = 0;
  // Freed also when building the name throws.
  std::unique_ptr<char, void (*)(void*)> demangled(
      abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
  name = EString(status == 0 && demangled != nullptr ? demangled.get() : mangled);
}

void EObject::erase() {}

void EObject::dump(std::wostream& out, EContext* /*context*/) const {
  EString name;
  getClassName(name);
  out << name;
}

void EObject::dump(std::ostream& out) {
  EString name;
  getClassName(name);
  out << name.toUtf8();
}
