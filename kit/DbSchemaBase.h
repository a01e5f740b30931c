/// @file
/// DbSchemaBase: the common part of a data schema written by an application.
#pragma once

#include <cstdint>
#include <variant>

#include "DbKitState.h"
#include "EPoint.h"
#include "IDbDataSchema.h"

namespace tarvex {

/// The default a meta announces with a data entry, in the type of the
/// addDataEntry overload it took; std::monostate for the overload without
/// one. The alternatives follow the interface's slot order.
using DbSchemaDefault =
    std::variant<std::monostate, EPoint3D, EPoint, double, float, std::int32_t, short, char, bool>;

/// Installs itself as the process-wide schema for its lifetime, turns the
/// nine addDataEntry overloads into one recordEntry, and keeps the closed
/// flag. A subclass decides what to keep and answers the look-ups: it
/// overrides the four operations left pure, recordEntry, getDataSchemaMap,
/// getDataEntryCount and declareOldDataId; without them it does not
/// compile ("abstract class"). DbRecordingSchema is such a subclass, ready
/// to install, which keeps the entries and old data ids.
///
/// Schemas nest like scopes, and survive ending out of order: a schema
/// that ends while installed puts back what it replaced; one that ends
/// while another is installed leaves the installed one alone, and the
/// schema made after it will put back what it had replaced. So the
/// installed schema is never one that has ended. The chain of schemas is
/// the library's (DbKitState), one for the process: schemas of the
/// application and of a provider library see each other.
///
/// Thread safety: none; metas are registered on one thread.
class DbSchemaBase : public IDbDataSchema {
 public:
  DbSchemaBase() { DbKitState::installSchema(m_Link, *this); }
  ~DbSchemaBase() override { DbKitState::removeSchema(m_Link); }
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
  DbKitState::SchemaLink m_Link{};
  bool m_bClosed = false;
};

}  // namespace tarvex
