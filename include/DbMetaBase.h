/// @class DbMetaBase
/// The meta object of one persistent object type.
///
/// A meta holds one DbData value per data id of its type and gives access to
/// them by data id, in insertion order and in sort-id order. Concrete meta
/// classes derive from it, fill it with addData in their own construction and
/// implement the pure operations (the extension points listed below). The
/// registry hands metas out and takes them back; the flags here (in use, new
/// object, delete object, created, 3D object) and the build stamp are state
/// the registry and its callers read and set.
///
/// Ownership: a meta owns every value in its data map, its string limit map
/// and its direct-pointer array; the lists and the direct array only borrow
/// values. Metas live on the scalable allocator. Metas are not copyable: a
/// copy would share the owned values.
///
/// Direct data pointers: a class whose supportDirectDataPointer() returns
/// true reaches its values through a process-wide data-id packing table and a
/// per-meta array (two array reads); other classes go through the data map.
///
/// Errors: broken contracts are reported through EAssertAndTrace with
/// ".\DbMetaBase" and the operation goes on with a neutral result; only
/// allocation throws.
///
/// Thread safety: a meta is used by one thread at a time (the registry gives
/// every thread its own metas). The packing table and the schema pointer are
/// process-wide and written only during set-up (module start-up, first
/// registration of each meta class) on one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>

#include "DbData.h"
#include "DbDataId2DataMap.h"
#include "DbDataList.h"
#include "DbForward.h"
#include "DbObjectId.h"
#include "EObject.h"
#include "TarvexExport.h"

class TARVEX_EXPORT DbMetaBase : public EObject {
 public:
  /// Per data id, the maximum string length.
  using StringLimitMap = std::map<unsigned short, std::uint32_t>;
  /// Spare direct slots above the highest packed id when an array is built.
  static constexpr unsigned short kDirectDataSpare = 16;

  DbMetaBase();
  DbMetaBase(const DbMetaBase&) = delete;
  DbMetaBase& operator=(const DbMetaBase&) = delete;
  /// Clears and purges every owned value, then frees the limit map and the
  /// direct array.
  ~DbMetaBase() override;

  ///@{
  /// Metas live on the scalable allocator.
  static void* operator new(std::size_t size);
  static void operator delete(void* pointer);
  ///@}

  // --- Extension points of concrete meta classes -------------------------
  /// The type id this meta describes.
  virtual unsigned short getTypeId() const = 0;
  /// Registration passes an id that carries only the meta's type id.
  virtual void setObjectId(const DbObjectId& objectId) = 0;
  /// Binds an object to the meta. The base body marks the meta in use for a
  /// non-null object and reports a null one; overrides call it. The 16-bit
  /// argument is the concrete class's to interpret.
  virtual bool setObject(DMMemberBase* object, unsigned short mode) = 0;
  /// The id of the bound object.
  virtual const DbObjectId& getObjectId() const = 0;
  /// A new, empty object of the meta's type, owned by the caller.
  virtual DMMemberBase* createObject() = 0;
  /// Drops the bound object without giving the meta back.
  virtual void releaseObject() = 0;
  /// Adds meta's object to the container value of `dataId`; false when the
  /// meta has no such value, else true.
  virtual bool addObject2Container(unsigned short dataId, DbMetaBase& meta, int position);
  /// Removes the element at `position` from the container value of `dataId`.
  virtual bool removeObjectFromContainer(unsigned short dataId, int position) = 0;
  /// Number of elements in the container value of `dataId`.
  virtual std::uint32_t getContainerSize(unsigned short dataId) const = 0;
  // -------------------------------------------------------------------------

  /// Gives the meta back: clears the in-use flag and nothing else. Inline,
  /// as the request cycle's last step, so overrides pay no library call.
  virtual void clear() { m_bInUse = false; }
  /// The bound object; base: null.
  virtual DMMemberBase* getObject() const;
  /// Hands the object to the caller: traces "At least one invalid build
  /// stamp." once per process for stamp 0 (while "Meta" tracing is on),
  /// clears the delete-object flag, calls postReadObject(stamp, false) and
  /// returns getObject(). A trace that throws counts as not written: the
  /// exception passes, and the next stamp 0 traces again.
  virtual DMMemberBase* takeOverObject(int stamp) const;
  /// A new meta of the same concrete type, owned by the caller; never null.
  virtual DbMetaBase* createMeta() = 0;
  /// Takes ownership of `value`. A duplicate data id is reported; the map
  /// keeps the earlier value and the later one is listed but not owned.
  /// Null, and a value the meta lists already, are reported and change
  /// nothing: a value is never listed twice. When the call throws
  /// (std::bad_alloc, or a report that throws), `value` is destroyed unless
  /// the meta held it before, a duplicate included, also when only the
  /// direct array's rebuild failed (the meta then answers from its map):
  /// the caller owns nothing after the exception and may add it afresh.
  /// A thread's first direct array also takes a slot in the per-thread count
  /// of arrays; no memory for that slot ends the process, after a report.
  virtual void addData(DbData* value);
  /// Swaps in `value` for the value of the same data id and returns the old
  /// one (now the caller's); reports and returns null when there is none.
  /// Replacing a value by itself returns it while the meta keeps holding it.
  /// Null, and a listed duplicate (not the mapped value of its data id), are
  /// reported: nothing changes and null is returned.
  virtual DbData* replaceData(DbData* value);
  /// A meta of the same type adapted to data `version`. Base: null.
  virtual DbMetaBase* adaptMeta(unsigned short version) const;
  /// Collects into `overflowingIds` the data ids whose strings exceed
  /// `limits`. Base: false, `overflowingIds` unchanged.
  virtual bool check4StringOverflow(std::set<unsigned short>& overflowingIds,
                                    const StringLimitMap* limits) const;

  ///@{
  /// Hooks; the bases do nothing (getDoNotify: true). The library calls only
  /// postReadObject, from takeOverObject.
  virtual void profileObjectStoreIgnore() const;
  virtual void preRemoveObject(const DbObjectId& objectId) const;
  virtual void preStoreObject();
  virtual void prepareIndexMask(std::int32_t& mask) const;
  virtual void postReadObject(int stamp, bool created);
  virtual bool getDoNotify() const;
  ///@}

  // --- Extension points of concrete meta classes (continued) -------------
  ///@{
  /// Whether a value was written since the object was bound.
  virtual bool isModified() const = 0;
  virtual void setModified(bool modified) = 0;
  ///@}
  // -------------------------------------------------------------------------

 protected:
  /// Whether the value of `dataId` is to report a string overflow. Base:
  /// false.
  virtual bool indicateStringOverflow(unsigned short dataId) const;
  /// True makes the meta reach its values through packed data ids.
  virtual bool supportDirectDataPointer() const;

 public:
  /// Flags and build stamp.
  /// Whether the meta is handed out: set by setObject, taken away by clear().
  bool inUse() const { return m_bInUse; }
  ///@{
  /// The bound object is new, not yet stored.
  bool isNewObject() const { return m_bNewObject; }
  void setNewObject(bool newObject) { m_bNewObject = newObject; }
  ///@}
  ///@{
  /// The bound object is to be deleted; takeOverObject takes the flag away.
  bool getDeleteObject() const { return m_bDeleteObject; }
  void setDeleteObject(bool deleteObject) { m_bDeleteObject = deleteObject; }
  ///@}
  ///@{
  /// The bound object was created through the meta; the object argument is not used.
  bool getCreated() const { return m_bCreated; }
  void setCreated(DMMemberBase* /*object*/, bool created) { m_bCreated = created; }
  ///@}
  ///@{
  /// The bound object is a 3D object.
  bool is3DObject() const { return m_b3DObject; }
  void set3DObjectFlag(bool is3D) { m_b3DObject = is3D; }
  ///@}
  ///@{
  /// Build stamp of the bound object; 0 marks an invalid one.
  std::int32_t getBuildStamp() const { return m_BuildStamp; }
  void setBuildStamp(int stamp) { m_BuildStamp = stamp; }
  ///@}

  /// The value of `dataId`, or null. Through the direct array when there is
  /// one, else through the data map.
  DbData* getData(unsigned short dataId) const {
    if (m_pDirectData == nullptr) return m_DataMap.getData(dataId);
    const unsigned short packed = sm_MapDataIdToPackedDataId[dataId];
    return packed > m_MaxPackedDataId ? nullptr : m_pDirectData[packed];
  }
  /// false: insertion order. true: sort-id order, sorted on first read after
  /// an addData and again on a read that finds the sort ids changed since
  /// (DbData::deinit and init, back-packing marks, the last entry moved);
  /// each sorted read checks the order once. REQUIRES: DbData::init() has
  /// run; without a sort-id table a sorted read is reported and answers the
  /// insertion order.
  const DbDataList& getDataList(bool sorted) const;

  ///@{
  /// Typed setters: false (and no report) when the meta has no value of the
  /// data id, else the value's setter is called and true returned.
  bool setDataBool(unsigned short dataId, bool value);
  bool setDataChar(unsigned short dataId, char value);
  bool setDataShort(unsigned short dataId, short value);
  bool setDataLong(unsigned short dataId, std::int32_t value);
  bool setDataFloat(unsigned short dataId, float value);
  bool setDataDouble(unsigned short dataId, double value);
  bool setDataString(unsigned short dataId, const EString& value);
  bool setPropertyList(unsigned short dataId, const EPropertyList& value);
  bool setDbObjectId(unsigned short dataId, const DbObjectId& value);
  bool setDataPoint(unsigned short dataId, const EPoint& value);
  bool setDataPoint3D(unsigned short dataId, const EPoint3D& value);
  bool setDataStreamableObject(unsigned short dataId, IEStreamableObject* value);
  bool setDataReference(unsigned short dataId, const DbObjectId& value);
  /// setReference with the object id, then setEmbeddedId with the embedded id.
  bool setDataEmbeddedReference(unsigned short dataId, const DbEmbeddedObjId& value);
  bool setDataDTString(unsigned short dataId, const DbDTString& value);
  bool setDataTime(unsigned short dataId, const ebas::ETime& value);
  ///@}

  /// Describes every value to the schema (nothing while the schema is closed
  /// or not installed), then clears the meta. `registering` is true for the
  /// meta being registered (its object id is set to its type id) and false
  /// for embedded metas visited on the way.
  void addDataEntry2DbMap(bool registering);
  /// Resets every non-default value to the schema map of `key`, if any.
  void setDatas2Default(unsigned short key);
  /// Takes values of unknown-data type 1 out of both lists, the map and the
  /// direct array. The meta no longer owns them; they are not destroyed.
  void removeUnknownDataFromDataLists();
  /// Replaces the limit map's contents with a copy of `limits`.
  void setStringLimitMap(const StringLimitMap& limits);
  /// The string limit map, or null; the registry copies it into working metas.
  const StringLimitMap* getStringLimitMap() const { return m_pStringLimitMap; }
  /// Hands an obsolete data id to the schema unless it is closed or absent.
  void declareOldDataId(unsigned short dataId);

  /// How deep containers and embedded metas may nest below a meta's own
  /// values in prepareContainerAccess, unprepareContainerAccess and
  /// changeDatabaseIds. A walk that would enter one more level (a deeper
  /// chain, or a value that contains itself) is reported once and stops
  /// there: no further value is visited, while the containers and embedded
  /// metas already entered are finished as usual. The walks recurse, one or
  /// two frames per level, so the bound keeps them within a small stack
  /// (measured with GCC 12 at the bound: about 0.1 MB optimised, 0.7 MB
  /// under AddressSanitizer).
  static constexpr std::uint32_t kMaxNestingDepth = 1000;

  /// Container access over all values, recursing into containers (container
  /// first, then its elements) and embedded metas (which are cleared after).
  void prepareContainerAccess();
  /// Mirror of prepareContainerAccess: elements first, then the container.
  void unprepareContainerAccess();
  /// The meta of the embedded object in the value of `dataId`, or null.
  DbMetaBase* getMetaForEmbeddedObject(unsigned short dataId) const;
  /// Rewrites database id `oldId` to `newId` in every object id and reference,
  /// recursing into containers and embedded metas (kMaxNestingDepth levels
  /// at most). Ids in other databases are not written.
  void changeDatabaseIds(unsigned short oldId, unsigned short newId);

  /// Clears the process-wide packing table. REQUIRES: no meta exists that
  /// uses direct data pointers, and no other thread touches metas.
  static void initDataIdPacking();
  /// Live metas that hold a direct array: registered metas and the copies
  /// createMeta made of them alike, on any thread. While it is not 0,
  /// clearing the table would leave direct arrays indexed by packed ids that
  /// the next packing hands to other data ids, so start-up keeps the table.
  /// Changes when a meta gets its first array, drops it, or is destroyed
  /// with one: never on a look-up or a warm request. An array is counted on
  /// the thread that builds it; destroying a meta allocates nothing.
  /// REQUIRES: no other thread makes, changes or destroys metas meanwhile.
  /// REQUIRES: a meta whose array was built on another thread is destroyed
  ///           (or rebuilds its array) while that thread builds, drops and
  ///           destroys no direct array, as in a registry's teardown once
  ///           the threads that used it have stopped.
  static std::uint32_t getPackingMetaCount();

 protected:
  /// The string limit map, or null.
  const StringLimitMap* getLimitMap() const { return m_pStringLimitMap; }
  ///@{
  /// The direct array's bound (0 while there is none) and its entry for
  /// `packed` (null beyond the bound or without an array), for diagnostics.
  unsigned short getMaxPackedDataId() const { return m_MaxPackedDataId; }
  bool hasDirectData() const { return m_pDirectData != nullptr; }
  DbData* getDirectData(unsigned short packed) const {
    return m_pDirectData == nullptr || packed > m_MaxPackedDataId ? nullptr : m_pDirectData[packed];
  }
  ///@}
  /// Packs the value's data id and gives it its direct slot (rebuilding the
  /// array when the packed id lies beyond the spare room). A rebuild packs
  /// listed values that are not packed yet as well. If some listed value
  /// cannot have a slot (every packed id taken), that is reported once and
  /// the meta drops its array, answering look-ups from the map instead; it
  /// tries no rebuild again while every packed id stays taken. A throwing
  /// rebuild leaves the meta on its map as well, and so does a class that
  /// answers false to supportDirectDataPointer() while an array built during
  /// a base class's construction (which answered true) exists.
  void setupDirectDataPtr(DbData* value);
  ///@{
  /// Per-value steps of the public walks of the same names; `value` counts
  /// as one of the meta's own values for the nesting bound.
  void prepareContainerAccess(DbData* value);
  void unprepareContainerAccess(DbData* value);
  void changeDatabaseIds(DbData* value, unsigned short oldId, unsigned short newId);
  ///@}

 private:
  /// setObject's base body for a null object: reports it, clears the in-use
  /// flag and returns false.
  bool rejectNullObject();

  DbDataId2DataMap m_DataMap;
  mutable DbDataList m_SortedDataList;
  DbDataList m_DataList;
  StringLimitMap* m_pStringLimitMap;
  mutable bool m_bDeleteObject;
  bool m_bInUse;
  bool m_bNewObject;
  unsigned short m_MaxPackedDataId;
  DbData** m_pDirectData;
  std::int32_t m_BuildStamp;
  bool m_b3DObject;
  bool m_bCreated;
  /// This meta holds a direct array and is counted in getPackingMetaCount().
  bool m_bDirectDataCounted;
  /// A listed value found no packed id: the meta dropped its array and
  /// rebuilds none while the packing stays exhausted.
  bool m_bDirectDataExhausted;

  /// Counts a direct array new to the meta in the calling thread's count,
  /// which the array carries behind its slots so that whichever thread drops
  /// it (a rebuild, the destructor) pays back that count without one of its
  /// own. Every place that installs m_pDirectData calls it.
  void countDirectData();

 public:
  ///@{
  /// Read access to the packing table, for diagnostics.
  static unsigned short getPackedDataId(unsigned short dataId) {
    return sm_MapDataIdToPackedDataId[dataId];
  }
  static unsigned short getLastUsedPackedDataId() { return sm_LastUsedPackedDataId; }
  ///@}

 private:
  /// Packed id of every data id (0: not packed), shared by all metas.
  static unsigned short sm_MapDataIdToPackedDataId[65536];
  /// The packed id handed out last; 0 when none.
  static unsigned short sm_LastUsedPackedDataId;
};

// Inline, as the request cycle's first step after the hand-out; the rare
// null object is reported out of line.
inline bool DbMetaBase::setObject(DMMemberBase* object, unsigned short /*mode*/) {
  if (object == nullptr) return rejectNullObject();
  m_bInUse = true;
  return true;
}
