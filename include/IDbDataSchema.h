/// @class IDbDataSchema
/// The data schema to which metas describe their data entries
/// and from which they take default values.
///
/// Implemented in another module, which installs its instance in
/// sm_pInstance; the library never creates or resets it. Metas reach it
/// through getSmallInstance(). While none is installed, metas describe and
/// declare nothing, as with a closed schema.
///
/// Thread safety: sm_pInstance is read, and the schema called, without a
/// lock; install the schema before any meta is registered.
#pragma once

#include <cstdint>

#include "DbForward.h"
#include "EObject.h"
#include "EPoint.h"
#include "TarvexExport.h"

class TARVEX_EXPORT IDbDataSchema : public EObject {
 public:
  IDbDataSchema();
  /// Nothing to copy: the interface has no state.
  IDbDataSchema(const IDbDataSchema& other);
  ~IDbDataSchema() override;
  /// Nothing to copy: the interface has no state.
  IDbDataSchema& operator=(const IDbDataSchema& other);

  ///@{
  /// One data entry of `meta`, with its current value as default (all but the
  /// last overload). The order of the overloads is the interface's slot order.
  virtual void addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                            const EPoint3D& defaultValue) = 0;
  virtual void addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                            const EPoint& defaultValue) = 0;
  virtual void addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                            double defaultValue) = 0;
  virtual void addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                            float defaultValue) = 0;
  virtual void addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                            std::int32_t defaultValue) = 0;
  virtual void addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                            short defaultValue) = 0;
  virtual void addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                            char defaultValue) = 0;
  virtual void addDataEntry(DbMetaBase* meta, unsigned short dataId, unsigned char dataModelType,
                            bool defaultValue) = 0;
  virtual void addDataEntry(DbMetaBase* meta, unsigned short dataId,
                            unsigned char dataModelType) = 0;
  ///@}

  /// The schema map for `key`; null: nothing to default.
  virtual const DbDataSchemaMap* getDataSchemaMap(unsigned short key) = 0;
  /// Number of data entries recorded for `typeId`.
  virtual std::uint32_t getDataEntryCount(unsigned short typeId) const = 0;
  /// True: metas report no data entries and declare no old data ids.
  virtual bool isSchemaClosed() = 0;
  /// Closes or reopens the schema.
  virtual void setSchemaClosed(bool closed) = 0;
  /// `meta` declares `dataId` as an old data id.
  virtual void declareOldDataId(DbMetaBase* meta, unsigned short dataId) = 0;

  /// The installed schema, or null.
  static IDbDataSchema* getSmallInstance() { return sm_pInstance; }

 protected:
  /// The installed schema; null until the implementing module sets it.
  static IDbDataSchema* sm_pInstance;
};
