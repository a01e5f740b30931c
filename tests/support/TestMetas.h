// Concrete metas for tests.
//
// PlainTestMeta reaches its values through the data map, DirectTestMeta
// through packed data ids and a direct array. Both are filled in their own
// construction from a list of value factories, so createMeta() yields a new
// meta of the same class, type id and values (fresh objects, initial
// contents). Values added later with addData are not reproduced.
//
// The bound object is an opaque pointer that is never dereferenced; use
// testObject(n) for distinct ones. createObject() gives null and
// removeObjectFromContainer() false: tests have no object model.
//
// Every meta records its hook calls (setObjectId, postReadObject, clear);
// with setLogEvents(true) it also appends "clear:<typeId>" to events(), so
// the order of clears relative to container walks can be checked.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "DbMetaCore.h"

namespace tarvex_test {

// A distinct opaque object pointer per n (0 <= n < 16).
DMMemberBase* testObject(int n);

// On the kit's DbMetaCore, with a type id chosen at run time. Unlike the
// kit's, clear() keeps the object (only the base runs), and the container
// size is any value's getContainerCount(), so the library's own handling of
// both shows.
class TestMeta : public tarvex::DbMetaCore {
 public:
  using ValueFactory = std::function<DbData*()>;

  unsigned short getTypeId() const override { return m_TypeId; }
  void setObjectId(const DbObjectId& objectId) override;
  std::uint32_t getContainerSize(unsigned short dataId) const override;
  void clear() override;
  void postReadObject(int stamp, bool created) override;

  // Every id passed to setObjectId, in order.
  const std::vector<DbObjectId>& objectIds() const { return m_ObjectIds; }
  // Every (stamp, created) passed to postReadObject, in order.
  const std::vector<std::pair<int, bool>>& postReads() const { return m_PostReads; }
  int clearCount() const { return m_ClearCount; }
  void setLogEvents(bool log) { m_bLogEvents = log; }

  // Protected base operations, opened for tests.
  using DbMetaBase::changeDatabaseIds;
  using DbMetaBase::getDirectData;
  using DbMetaBase::getLimitMap;
  using DbMetaBase::getMaxPackedDataId;
  using DbMetaBase::hasDirectData;
  using DbMetaBase::prepareContainerAccess;
  using DbMetaBase::setupDirectDataPtr;
  using DbMetaBase::unprepareContainerAccess;
  bool baseIndicateStringOverflow(unsigned short dataId) const {
    return DbMetaBase::indicateStringOverflow(dataId);
  }
  bool directDataSupported() const { return supportDirectDataPointer(); }

 protected:
  TestMeta(unsigned short typeId, std::vector<ValueFactory> factories);
  // Called by the final classes' constructors, where supportDirectDataPointer
  // already answers for the final class.
  void fill();

  unsigned short m_TypeId;
  std::vector<ValueFactory> m_Factories;

 private:
  bool m_bLogEvents = false;
  int m_ClearCount = 0;
  std::vector<DbObjectId> m_ObjectIds;
  std::vector<std::pair<int, bool>> m_PostReads;
};

class PlainTestMeta final : public TestMeta {
 public:
  explicit PlainTestMeta(unsigned short typeId, std::vector<ValueFactory> factories = {});
  DbMetaBase* createMeta() override;
};

class DirectTestMeta final : public TestMeta {
 public:
  explicit DirectTestMeta(unsigned short typeId, std::vector<ValueFactory> factories = {});
  DbMetaBase* createMeta() override;

 protected:
  bool supportDirectDataPointer() const override { return true; }
};

}  // namespace tarvex_test
