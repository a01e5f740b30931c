/// @class DbData
/// Base of every typed data value that a meta object carries.
///
/// A value holds one datum of one object, named by its 16-bit data id, plus a
/// 16-bit flag word and an unknown-data marker. Concrete value classes live
/// outside the library and override the typed interface; every base
/// operation a subclass fails to override reports its contract failure
/// through EAssertAndTrace and returns a neutral result (false, 0, 255, null,
/// an empty string or a shared default object). Nothing here throws except
/// allocation.
///
/// Ownership: a value belongs to the meta or container that holds it and is
/// destroyed through purge() or a delete through a DbData pointer. Single
/// values live on the scalable allocator.
///
/// Ordering: values compare by sort id, taken from the process-wide sort-id
/// table (init/deinit and the set-up operations below).
///
/// Thread safety: one value is used by one thread at a time. The sort-id
/// table is read without a lock by any number of threads; its writers (init,
/// deinit, setLastEntryDataId, insertBackPackedDatatId) must run while no
/// other thread reads it. The shared default objects of the base getters are
/// built on first use, safely from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>

#include "DbDTString.h"
#include "DbDataModel2DataBaseTypeMap.h"
#include "DbForward.h"
#include "DbObjectId.h"
#include "DbPtBlobConstIterator.h"
#include "EPoint.h"
#include "EPropertyList.h"
#include "EString.h"
#include "ETime.h"
#include "TarvexExport.h"

/// Unknown-data markers of a value.
namespace DbUnknownDataNsp {
/// 0: no unknown data. 1: unknown data that DbMetaBase::
/// removeUnknownDataFromDataLists takes out of a meta. Other values belong to
/// the value classes.
enum DbUnknownDataType : std::int32_t { eNoUnknownData = 0, eUnknownData = 1 };
}  // namespace DbUnknownDataNsp

class TARVEX_EXPORT DbData {
 public:
  /// First data id covered by the sort-id table.
  static constexpr unsigned short kFirstTableDataId = 60000;
  /// Number of entries of the sort-id table (data ids 60000..65534).
  static constexpr unsigned short kTableSize = 65535 - 60000;
  /// The last-entry data id that init() sets.
  static constexpr unsigned short kDefaultLastEntryDataId = 60005;
  /// Sort id of the last-entry data id, so that it sorts behind every other.
  static constexpr std::uint32_t kLastEntrySortId = 0xFFFFFFFFu;
  /// Added to the sort id of a back-packed data id, so that it sorts behind the unpacked ones.
  static constexpr std::uint32_t kBackPackingOffset = 65535;
  /// Flag bit of a valid value: set on construction, taken away by clear().
  static constexpr unsigned short kValidFlag = 0x0001;

  /// A valid value of `dataId` with no unknown data.
  explicit DbData(unsigned short dataId)
      : m_UnknownDataType(DbUnknownDataNsp::eNoUnknownData),
        m_DataId(dataId),
        m_Flags(kValidFlag) {}
  /// Copies the data id, the flags and the unknown-data marker.
  DbData(const DbData& other) = default;
  /// Copies the data id, the flags and the unknown-data marker.
  DbData& operator=(const DbData& other) = default;
  virtual ~DbData();

  ///@{
  /// Typed getters. Base: report "implement_in_subclasses", neutral result.
  virtual bool getBool() const;
  virtual char getChar() const;
  virtual short getShort() const;
  virtual std::int32_t getLong() const;
  virtual float getFloat() const;
  virtual double getDouble() const;
  virtual const ebas::ETime& getTime() const;
  virtual const EString& getString() const;
  virtual const DbObjectId& getDbObjectId() const;
  virtual const EPoint& getPoint() const;
  virtual const EPoint3D& getPoint3D() const;
  virtual const EPropertyList& getPropList() const;
  virtual const IEStreamableObject* getStreamableObject() const;
  virtual DbObjectId getReference() const;
  virtual std::int32_t getEmbeddedId() const;
  virtual const DbDTString& getDTString() const;
  virtual unsigned char getPropertyType() const;
  ///@}

  ///@{
  /// Embedded objects: a meta obtained with getMeta goes back through ungetMeta
  /// on the same value.
  virtual DbMetaBase* getMeta();
  virtual bool ungetMeta(DbMetaBase* meta);
  ///@}

  ///@{
  /// Containers. The out parameter is written only when true is returned.
  virtual std::uint32_t getContainerCount() const;
  virtual void prepareContainerAccess();
  virtual void unprepareContainerAccess();
  virtual bool getFirstElement(DbData** element);
  virtual bool getNextElement(DbData** element);
  ///@}
  /// Data-model type of the elements. Base: 255, no report.
  virtual unsigned char getDataModelTypeOfElements() const;
  /// Database type of getDataModelTypeOfElements(); 127 while no type map.
  virtual unsigned char getDataBaseTypeOfElements() const;

  /// The raw unknown data. Base: reports "false", leaves the outputs
  /// untouched, returns false.
  virtual bool getUnknownData(unsigned char** data, std::uint32_t* size);

  ///@{
  /// Typed setters. Base: report "implement_in_subclasses", change nothing.
  virtual void setBool(bool value);
  virtual void setChar(char value);
  virtual void setShort(short value);
  virtual void setLong(std::int32_t value);
  virtual void setFloat(float value);
  virtual void setDouble(double value);
  virtual void setTime(const ebas::ETime& value);
  virtual void setString(const EString& value);
  virtual void setDbObjectId(const DbObjectId& value);
  virtual void setPoint(const EPoint& value);
  virtual void setPoint3D(const EPoint3D& value);
  virtual void setReference(const DbObjectId& value);
  virtual void setEmbeddedId(const std::int32_t& value);
  virtual void setDTString(const DbDTString& value);
  virtual void setPropertyList(const EPropertyList& value);
  virtual void setUnknownData(DbPtBlobConstIterator& blob, const char* context);
  virtual void setUnknownData(const unsigned char* data, std::uint32_t size, unsigned char code);
  virtual void setStreamableObject(IEStreamableObject* object);
  virtual bool addObject2Container(DbMetaBase& meta, int position);
  ///@}

  ///@{
  /// In-place writers. Base: report and hand out one shared default object per
  /// operation; a write through it is seen by later callers of the same
  /// operation. These objects are process-wide, not per thread: a caller
  /// that writes through one after the report races with any other thread
  /// doing the same, so nothing may rely on what such an object holds.
  virtual EPropertyList& getPropertyListToSet();
  virtual EString& getStringToSet();
  virtual void finishStringToSet();
  virtual ebas::ETime& getTimeToSet();
  virtual EPoint& getPointToSet();
  virtual EPoint3D& getPoint3DToSet();
  virtual DbDTString& getDbDTStringToSet();
  ///@}

  /// Whether the value holds a datum. Base: false.
  virtual bool valid() const;
  /// Takes away flag bit 0x0001 and reports success.
  virtual bool clear();
  /// Writes "DataId:" + data id + " " (no line end).
  virtual void dump(std::ostream& out) const;
  /// The value's data-model type. Base: reports "false", returns 255.
  virtual unsigned char getDataModelType() const;
  /// The meta of the embedded object; base: null, no report.
  virtual DbMetaBase* getMetaForEmbeddedObject() const;
  /// Ends the value's life (deleting destructor). The value must not be
  /// touched afterwards.
  virtual void purge();
  /// Length of the string value; base: reports "false", returns 0.
  virtual std::uint32_t getStringLength() const;
  /// Resets the value to its default in `schemaMap`; base: nothing.
  virtual void setDefault(const DbDataSchemaMap* schemaMap);
  /// Whether the value equals its default in `schemaMap`; base: false.
  virtual bool isDefault(const DbDataSchemaMap* schemaMap) const;
  /// The value as text. Base: reports "false", empties `out`, returns
  /// false.
  virtual bool getAsString(EString& out) const;
  /// The value as a data-model value; base: null.
  virtual DMSimpleData* asDMSimpleData();
  /// Loads a value whose data were deferred. Base: reports that there is
  /// nothing to load, returns false.
  virtual bool doDelayedDataLoad(int mode, unsigned short dataId, DbMetaBase* meta);

 protected:
  /// Renames the value; only the concrete class may, before the value is added to a meta.
  virtual void setDataId(unsigned short dataId);

 public:
  /// The data id that names the value within its meta.
  unsigned short getDataId() const { return m_DataId; }
  ///@{
  /// Flag word: any bit of `mask` set; set or take away the bits of `mask`.
  bool isBitOn(unsigned short mask) const { return (m_Flags & mask) != 0; }
  void switchBitOn(unsigned short mask) { m_Flags = static_cast<unsigned short>(m_Flags | mask); }
  void switchBitOff(unsigned short mask) { m_Flags = static_cast<unsigned short>(m_Flags & ~mask); }
  ///@}
  /// Whether the unknown-data marker is set (any value but 0).
  bool hasUnknownData() const { return m_UnknownDataType != DbUnknownDataNsp::eNoUnknownData; }
  /// The unknown-data marker.
  DbUnknownDataNsp::DbUnknownDataType getUnknownDataType() const { return m_UnknownDataType; }

  /// Equal data ids; nothing else is compared.
  bool operator==(const DbData& other) const { return m_DataId == other.m_DataId; }
  /// REQUIRES: init() has run.
  bool operator<(const DbData& other) const {
    return getSortId(m_DataId) < getSortId(other.m_DataId);
  }
  /// Less-than on sort ids; the comparator for sorting value lists.
  /// REQUIRES: init() has run.
  static bool sortDbData(const DbData* a, const DbData* b) { return *a < *b; }

  /// Database type of getDataModelType(); 127 while no type map.
  unsigned char getDatabaseType() const {
    return static_cast<unsigned char>(
        DbDataModel2DataBaseTypeMap::getDatabaseType(getDataModelType()));
  }

  /// A single value has no list of values: reports and returns null.
  const DbDataList* getDataList() const;

  ///@{
  /// Single values live on the scalable allocator.
  static void* operator new(std::size_t size);
  static void operator delete(void* pointer);
  ///@}

  /// Sort-id table. Data ids 60000..65534 have entries of their own; any
  /// other 16-bit id sorts by its own number.
  static void init();
  /// Frees the table; getSortId must not run until the next init().
  static void deinit();
  /// REQUIRES: init() has run.
  static std::uint32_t getSortId(unsigned short dataId) {
    return sm_pArrayDataId2SortId[static_cast<int>(dataId) - kFirstTableDataId];
  }
  /// REQUIRES: init() has run.
  static bool isBackPackedDatatId(unsigned short dataId) {
    return getSortId(dataId) >= kBackPackingOffset;
  }
  /// Whether `dataId` is the last-entry data id, which sorts behind every other.
  static bool isLastEntryDataId(unsigned short dataId) { return dataId == sm_nLastEntryDataId; }
  /// Moves the last-entry role to `dataId`. The id that had it takes the new
  /// id's number as its sort id if it lies in the table (60000 and up), and
  /// its own number otherwise, like every id below the table.
  /// REQUIRES: init() has run; no concurrent reader. Without a table the call
  /// is reported and changes nothing.
  static void setLastEntryDataId(unsigned short dataId);
  /// REQUIRES: init() has run; no concurrent reader. Without a table the call
  /// is reported and changes nothing.
  static void insertBackPackedDatatId(unsigned short dataId, bool backPacked);

  /// Entry d - 60000 is the sort id of data id d; null before init and after
  /// deinit.
  static std::uint32_t* sm_pArrayDataId2SortId;
  /// The last-entry data id; 0 until init() or setLastEntryDataId.
  static unsigned short sm_nLastEntryDataId;

 protected:
  /// Unknown-data marker; the value classes set it.
  DbUnknownDataNsp::DbUnknownDataType m_UnknownDataType;

 private:
  unsigned short m_DataId;
  unsigned short m_Flags;
};
