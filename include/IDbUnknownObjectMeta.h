/// @class IDbUnknownObjectMeta
/// Interface for metas of objects whose type this
/// process does not know. Implemented and used by other modules; the library
/// only declares it.
#pragma once

#include <cstdint>

#include "DbForward.h"
#include "TarvexExport.h"

class TARVEX_EXPORT IDbUnknownObjectMeta {
 public:
  IDbUnknownObjectMeta();
  /// Nothing to copy: the interface has no state.
  IDbUnknownObjectMeta(const IDbUnknownObjectMeta& other);
  virtual ~IDbUnknownObjectMeta() = 0;
  /// Nothing to copy: the interface has no state.
  IDbUnknownObjectMeta& operator=(const IDbUnknownObjectMeta& other);

  /// The type id stored with the unknown object.
  virtual unsigned short getStoredTypeId() const = 0;
  /// The raw bytes of the unknown object; false when there are none.
  virtual bool getRawObject(const unsigned char** data, std::uint32_t* size) const = 0;
};
