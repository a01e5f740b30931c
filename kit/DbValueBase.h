/// @file
/// DbValueBase: common base of the provider kit's value classes, and the
/// data-model types those classes carry.
#pragma once

#include <cstdint>
#include <ios>
#include <limits>
#include <locale>
#include <sstream>
#include <utility>

#include "DbData.h"
#include "DbDataList.h"
#include "DbDataModel2DataBaseTypeMap.h"
#include "DbMetaBase.h"
#include "DbObjectId.h"
#include "EPoint.h"
#include "EString.h"
#include "ETime.h"

namespace tarvex {

/// Data-model types of the kit's value classes. Each is its database type
/// plus 20, so the two are never mistaken for one another; string and time
/// are stored kinds the meta operations do not single out.
namespace DbValueModelType {
enum : unsigned char {
  kBool = 21,            ///< database type 1
  kChar = 22,            ///< database type 2
  kShort = 23,           ///< database type 3
  kLong = 24,            ///< database type 4
  kFloat = 25,           ///< database type 5
  kDouble = 26,          ///< database type 6
  kPoint = 27,           ///< database type 7
  kContainer = 31,       ///< database type 11
  kEmbeddedObject = 33,  ///< database type 13
  kObjectId = 34,        ///< database type 14
  kReference15 = 35,     ///< database type 15
  kReference16 = 36,     ///< database type 16
  kReference18 = 38,     ///< database type 18
  kPoint3D = 39,         ///< database type 19
  kString = 40,          ///< database type 20
  kTime = 41,            ///< database type 21
};
}  // namespace DbValueModelType

/// @cond TARVEX_INTERNAL
namespace internal {
/// The database types the kit gives strings and times.
constexpr char kStringDatabaseType = 20;
constexpr char kTimeDatabaseType = 21;
}  // namespace internal
/// @endcond

/// Enters every data-model type of DbValueModelType in the process-wide
/// DbDataModel2DataBaseTypeMap. Run it on one thread before the first meta
/// is registered; DbTablesScope does.
inline void registerValueModelTypes() {
  static constexpr std::pair<unsigned char, char> kTypes[] = {
      {DbValueModelType::kBool, DbDatabaseType::kBoolean},
      {DbValueModelType::kChar, DbDatabaseType::kCharacter},
      {DbValueModelType::kShort, DbDatabaseType::kShort},
      {DbValueModelType::kLong, DbDatabaseType::kLong},
      {DbValueModelType::kFloat, DbDatabaseType::kFloat},
      {DbValueModelType::kDouble, DbDatabaseType::kDouble},
      {DbValueModelType::kPoint, DbDatabaseType::kPoint},
      {DbValueModelType::kContainer, DbDatabaseType::kContainer},
      {DbValueModelType::kEmbeddedObject, DbDatabaseType::kEmbeddedObject},
      {DbValueModelType::kObjectId, DbDatabaseType::kObjectId},
      {DbValueModelType::kReference15, DbDatabaseType::kReference15},
      {DbValueModelType::kReference16, DbDatabaseType::kReference16},
      {DbValueModelType::kReference18, DbDatabaseType::kReference18},
      {DbValueModelType::kPoint3D, DbDatabaseType::kPoint3D},
      {DbValueModelType::kString, internal::kStringDatabaseType},
      {DbValueModelType::kTime, internal::kTimeDatabaseType},
  };
  for (const auto& [dataModelType, databaseType] : kTypes) {
    DbDataModel2DataBaseTypeMap::addDataModelType(dataModelType, databaseType);
  }
}

/// Base of the kit's values: a data id, a data-model type, validity by the
/// flag that DbData::clear() takes away, and the reset that resetValues()
/// calls. A cleared value is invalid, and skipped by the meta operations
/// (changeDatabaseIds among them), until a write through one of the kit's
/// setters (or a typed key) or resetValues() makes it valid again.
///
/// setDatas2Default leaves the kit's values as they are: the schema map is
/// opaque to Tarvex, and DbData's isDefault and setDefault neither compare
/// nor write. A provider whose schema map holds defaults overrides both in a
/// base of its own.
///
/// A provider may put a base of its own under DbValue and DbReferenceValue
/// instead; it must derive from DbData and be constructible from
/// (data id, data-model type).
class DbValueBase : public DbData {
 public:
  /// A valid value of data id `dataId` and data-model type `dataModelType`.
  DbValueBase(unsigned short dataId, unsigned char dataModelType)
      : DbData(dataId), m_DataModelType(dataModelType) {}

  /// The data-model type given at construction.
  unsigned char getDataModelType() const override { return m_DataModelType; }
  /// True until DbData::clear() takes the valid flag away.
  bool valid() const override { return isBitOn(kValidFlag); }
  /// Puts the datum back to the one it was constructed with. Base: nothing,
  /// for a provider's own value class that has no datum to reset.
  virtual void resetValue() {}

 private:
  unsigned char m_DataModelType;
};

/// Puts every value of `meta` derived from DbValueBase back to its
/// construction state: the datum (resetValue()) and the valid flag, which
/// DbData::clear() takes away; other values stay as they are. Costs one
/// walk over the values, and nothing when not called.
inline void resetValues(DbMetaBase& meta) {
  for (DbData* value : meta.getDataList(false)) {
    if (auto* kitValue = dynamic_cast<DbValueBase*>(value)) {
      kitValue->resetValue();
      kitValue->switchBitOn(DbData::kValidFlag);
    }
  }
}

/// @cond TARVEX_INTERNAL
namespace internal {

/// The texts the kit's values give getAsString. Numbers are written in the
/// classic locale, reals with as many digits as round-trip their decimal
/// form.
inline std::wostringstream textStream() {
  std::wostringstream stream;
  stream.imbue(std::locale::classic());
  return stream;
}
inline EString toText(bool value) { return EString(value ? L"true" : L"false"); }
inline EString toText(char value) {
  return EString(std::wstring(1, static_cast<wchar_t>(static_cast<unsigned char>(value))));
}
inline EString toText(short value) { return EString(std::to_wstring(value)); }
inline EString toText(std::int32_t value) { return EString(std::to_wstring(value)); }
template <class Real>
EString realText(Real value) {
  std::wostringstream stream = textStream();
  stream.precision(std::numeric_limits<Real>::digits10);
  stream << value;
  return EString(stream.str());
}
inline EString toText(float value) { return realText(value); }
inline EString toText(double value) { return realText(value); }
inline EString toText(const EPoint& value) {
  return EString(L"(" + realText(value.x()) + L", " + realText(value.y()) + L")");
}
inline EString toText(const EPoint3D& value) {
  return EString(L"(" + realText(value.x()) + L", " + realText(value.y()) + L", " +
                 realText(value.z()) + L")");
}
inline EString toText(const EString& value) { return value; }
inline EString toText(const ebas::ETime& value) {
  return EString(std::to_wstring(value.seconds()));
}
/// type/database/number.
inline EString toText(const DbObjectId& value) {
  return EString(std::to_wstring(value.getTypeId()) + L"/" +
                 std::to_wstring(value.getDatabaseId()) + L"/" +
                 std::to_wstring(value.getObjectNumber()));
}

}  // namespace internal
/// @endcond

}  // namespace tarvex
