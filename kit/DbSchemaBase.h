/// @file
/// DbSchemaBase: the common part of a data schema written by an application.
#pragma once

#include <cstdint>
#include <variant>

#include "EPoint.h"
#include "IDbDataSchema.h"

namespace tarvex {

/// The default a meta announces with a data entry, in the type of the
/// addDataEntry overload it took; std::monostate for the overload without
/// one. The alternatives follow the interface's slot order.
using DbSchemaDefault =
    std::variant<std::monostate, EPoint3D, EPoint, double, float, std::int32_t, short, char, bool>;

/// Installs itself as the process-wide schema for its lifetime (putting back
/// whatever was installed before when it ends, so schemas nest like scopes),
/// turns the nine addDataEntry overloads into one recordEntry, and keeps the
/// closed flag. A subclass decides what to keep and answers the look-ups.
///
/// Thread safety: none; metas are registered on one thread.
class DbSchemaBase : public IDbDataSchema {
 public:
  DbSchemaBase() : m_pPrevious(sm_pInstance) { sm_pInstance = this; }
  ~DbSchemaBase() override { sm_pInstance = m_pPrevious; }
  DbSchemaBase(const DbSchemaBase&) = delete;
  DbSchemaBase& operator=(const DbSchemaBase&) = delete;

  /// One data entry of `meta` (which may be null), with the default it
  /// announced.
  virtual void recordEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                           const DbSchemaDefault& defaultValue) = 0;

  ///@{
  /// Passed on to recordEntry.
  void addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                    const EPoint3D& defaultValue) override {
    recordEntry(meta, dataId, dataModelType, DbSchemaDefault(defaultValue));
  }
  void addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                    const EPoint& defaultValue) override {
    recordEntry(meta, dataId, dataModelType, DbSchemaDefault(defaultValue));
  }
  void addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                    double defaultValue) override {
    recordEntry(meta, dataId, dataModelType, DbSchemaDefault(defaultValue));
  }
  void addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                    float defaultValue) override {
    recordEntry(meta, dataId, dataModelType, DbSchemaDefault(defaultValue));
  }
  void addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                    std::int32_t defaultValue) override {
    recordEntry(meta, dataId, dataModelType, DbSchemaDefault(defaultValue));
  }
  void addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                    short defaultValue) override {
    recordEntry(meta, dataId, dataModelType, DbSchemaDefault(defaultValue));
  }
  void addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                    char defaultValue) override {
    recordEntry(meta, dataId, dataModelType, DbSchemaDefault(defaultValue));
  }
  void addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                    bool defaultValue) override {
    recordEntry(meta, dataId, dataModelType, DbSchemaDefault(defaultValue));
  }
  void addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType) override {
    recordEntry(meta, dataId, dataModelType, DbSchemaDefault());
  }
  ///@}

  /// True: metas announce no data entries and declare no old data ids.
  bool isSchemaClosed() override { return m_bClosed; }
  /// Closes or reopens the schema.
  void setSchemaClosed(bool closed) override { m_bClosed = closed; }

 private:
  IDbDataSchema* m_pPrevious;
  bool m_bClosed = false;
};

}  // namespace tarvex
