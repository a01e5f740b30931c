// Stand-in for the application's persistent object base class, which lives in
// the object layer above the database. Tarvex only declares the class; an
// application defines it once, in a header of this name on its include path.
// A meta binds one such object at a time; the examples need nothing of it
// but its id and its build stamp.
#pragma once

#include "DbObjectId.h"

//! [object]
class DMMemberBase {
 public:
  explicit DMMemberBase(const DbObjectId& objectId) : m_ObjectId(objectId) {}
  DMMemberBase(const DMMemberBase&) = default;
  DMMemberBase& operator=(const DMMemberBase&) = default;
  virtual ~DMMemberBase() = default;

  const DbObjectId& getObjectId() const { return m_ObjectId; }
  int getBuildStamp() const { return m_BuildStamp; }
  void setBuildStamp(int stamp) { m_BuildStamp = stamp; }

 private:
  DbObjectId m_ObjectId;
  int m_BuildStamp = 0;
};
//! [object]
