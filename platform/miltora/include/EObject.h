/// @class EObject
/// Polymorphic root of the base library's objects.
///
/// Slot order: destructor, getClassName, erase, dump(wide), dump(narrow).
/// getClassName yields the readable name of the dynamic type.
#pragma once

#include <iosfwd>

#include "EString.h"
#include "MiltoraExport.h"

class EContext;

class MILTORA_EXPORT EObject {
 public:
  EObject() = default;
  ///@{
  /// Nothing to copy.
  EObject(const EObject&) = default;
  EObject& operator=(const EObject&) = default;
  ///@}
  virtual ~EObject();

  /// Demangled name of the object's dynamic class.
  virtual void getClassName(EString& name) const;
  /// Reset to an empty state; the base has nothing to reset.
  virtual void erase();
  /// Writes `"<class name>"` to the stream.
  virtual void dump(std::wostream& out, EContext* context) const;
  /// Writes the class name, in UTF-8, to the narrow stream.
  virtual void dump(std::ostream& out);
};
