#include "EObject.h"

#include <cxxabi.h>

#include <cstdlib>
#include <ostream>
#include <typeinfo>

EObject::~EObject() = default;

void EObject::getClassName(EString& name) const {
  const char* mangled = typeid(*this).name();
  int status = 0;
  char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  name = EString(status == 0 && demangled != nullptr ? demangled : mangled);
  std::free(demangled);
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
