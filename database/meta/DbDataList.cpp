#include "DbDataList.h"

#include "DbData.h"

void DbDataList::clearAndDestroyElements() {
  // Cleared before purged, so a value that owns others lets go of them first.
  for (DbData* value : *this) {
    value->clear();
    value->purge();
  }
  clear();
}
