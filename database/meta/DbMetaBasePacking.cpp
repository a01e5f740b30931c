// DbMetaBase: the process-wide data-id packing table and the direct data
// pointers of metas that support them.
#include <algorithm>
#include <iterator>

#include "DbMetaBase.h"
#include "Reporting.h"

using tarvex::internal::kAssertFalse;
using tarvex::internal::reportAssert;

unsigned short DbMetaBase::sm_MapDataIdToPackedDataId[65536];
unsigned short DbMetaBase::sm_LastUsedPackedDataId = 0;

namespace {

const char* const kSourceFile = ".\\DbMetaBase";
constexpr int kLineUnreachableValue = 145;

// Packed ids are 16-bit and 0 means "not packed", so 65535 ids is the most a
// process can hand out; the direct-array bound saturates at the same value.
constexpr unsigned short kHighestPackedId = 0xFFFF;

// The packed id of `dataId`, handing out the next one if it has none yet.
// Once every 16-bit packed id is taken, the id stays unpacked (0) rather than
// wrap onto 0, which marks "not packed" and is never a slot.
unsigned short packDataId(unsigned short (&table)[65536], unsigned short& lastUsed,
                          unsigned short dataId) {
  unsigned short& entry = table[dataId];
  if (entry == 0 && lastUsed != kHighestPackedId) entry = ++lastUsed;
  return entry;
}

}  // namespace

void DbMetaBase::initDataIdPacking() {
  std::fill(std::begin(sm_MapDataIdToPackedDataId), std::end(sm_MapDataIdToPackedDataId),
            static_cast<unsigned short>(0));
  sm_LastUsedPackedDataId = 0;
}

void DbMetaBase::setupDirectDataPtr(DbData* value) {
  if (value == nullptr || !supportDirectDataPointer()) return;

  const unsigned short packed =
      packDataId(sm_MapDataIdToPackedDataId, sm_LastUsedPackedDataId, value->getDataId());

  if (m_pDirectData != nullptr && packed != 0 && packed <= m_MaxPackedDataId) {
    m_pDirectData[packed] = value;
    return;
  }

  // From here until a complete array is installed, look-ups go through the
  // map, so the meta stays consistent even if the allocation below throws.
  delete[] m_pDirectData;
  m_pDirectData = nullptr;
  m_MaxPackedDataId = 0;
  if (m_DataList.empty()) return;

  // Values listed while supportDirectDataPointer() still answered false (an
  // intermediate base's constructor adding them) were never packed; they are
  // packed here, so every listed value gets its slot.
  unsigned short highest = 0;
  for (const DbData* listed : m_DataList) {
    if (listed == nullptr) continue;
    highest = std::max(highest, packDataId(sm_MapDataIdToPackedDataId, sm_LastUsedPackedDataId,
                                           listed->getDataId()));
  }
  // Saturate instead of wrapping, so the bound always covers every packed id.
  const unsigned short bound = highest > kHighestPackedId - kDirectDataSpare
                                   ? kHighestPackedId
                                   : static_cast<unsigned short>(highest + kDirectDataSpare);

  // The new-expression checks the byte count for overflow and throws
  // std::bad_array_new_length (a std::bad_alloc) instead of wrapping; "()"
  // nulls every entry.
  DbData** direct = new DbData*[static_cast<std::size_t>(bound) + 1]();

  bool complete = true;
  for (DbData* listed : m_DataList) {
    if (listed == nullptr) continue;
    const unsigned short p = sm_MapDataIdToPackedDataId[listed->getDataId()];
    if (p == 0 || p > bound) {
      reportAssert(EString(kAssertFalse), EString(kSourceFile), kLineUnreachableValue);
      complete = false;
    } else {
      direct[p] = listed;  // a later value of the same data id takes the slot
    }
  }
  // A value without a slot would be invisible behind the array, so such a
  // meta answers all look-ups from its map instead.
  if (!complete) {
    delete[] direct;
    return;
  }
  m_pDirectData = direct;
  m_MaxPackedDataId = bound;
}
