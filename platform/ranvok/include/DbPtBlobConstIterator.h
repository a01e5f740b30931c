/// @class DbPtBlobConstIterator
/// Read cursor over the bytes of a stored blob.
/// The iterator borrows the bytes; they must outlive it.
#pragma once

#include <cstddef>

#include "RanvokExport.h"

class RANVOK_EXPORT DbPtBlobConstIterator {
 public:
  /// A cursor at the first of the `size` bytes from `begin`.
  DbPtBlobConstIterator(const unsigned char* begin, std::size_t size)
      : m_Position(begin), m_End(begin + size) {}

  /// Whether every byte has been read.
  bool atEnd() const { return m_Position == m_End; }
  /// Number of bytes not yet read.
  std::size_t remaining() const { return static_cast<std::size_t>(m_End - m_Position); }
  /// The next byte to read.
  const unsigned char* position() const { return m_Position; }
  /// REQUIRES: count <= remaining().
  void advance(std::size_t count) { m_Position += count; }

 private:
  const unsigned char* m_Position;
  const unsigned char* m_End;
};
