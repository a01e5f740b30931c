/// @class DbDataList
/// Ordered sequence of borrowed DbData pointers.
///
/// The list does not own its values: copying, assigning or destroying one
/// never touches them; clearAndDestroyElements is the one operation that
/// destroys values (clear, then purge, on each).
///
/// Thread safety: none; a list is used by one thread at a time.
#pragma once

#include <vector>

#include "DbData.h"
#include "TarvexExport.h"

/// Ordered sequence of values; null elements are not allowed.
class TARVEX_EXPORT DbDataList : public std::vector<DbData*> {
 public:
  using std::vector<DbData*>::vector;

  /// Clears and purges every element in list order, then empties the list.
  void clearAndDestroyElements();
};
