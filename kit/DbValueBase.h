/// @file
/// DbValueBase: common base of the provider kit's value classes, and the
/// data-model types those classes carry.
#pragma once

#include <cstdint>
#include <ios>
#include <limits>
#include <locale>
#include <sstream>
#include <type_traits>

#include "DbData.h"
#include "DbDataList.h"
#include "DbDataModel2DataBaseTypeMap.h"
#include "DbKitState.h"
#include "DbMetaBase.h"
#include "DbObjectId.h"
#include "EPoint.h"
#include "EString.h"
#include "ETime.h"

namespace tarvex {

/// @cond TARVEX_INTERNAL
namespace internal {
/// The database types the kit gives strings and times.
constexpr char kStringDatabaseType = 20;
constexpr char kTimeDatabaseType = 21;
}  // namespace internal
/// @endcond

/// Enters every data-model type of DbValueModelType in the process-wide
/// DbDataModel2DataBaseTypeMap (DbKitState::registerValueModelTypes): an
/// entry the application made before, of another database type, is kept
/// and reported; false then. Run it on one thread before the first meta is
/// registered; DbTablesScope does.
inline bool registerValueModelTypes() { return DbKitState::registerValueModelTypes(); }

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
/// (data id, data-model type). Unless that base answers valid() itself,
/// DbValue and DbReferenceValue answer it by the same flag.
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

/// @cond TARVEX_INTERNAL
namespace internal {
/// `Base`, answering valid() by the valid flag where DbData's valid() (always
/// false) would answer: on a provider's base without a valid() of its own.
template <class Base,
          bool kByFlag = std::is_same_v<decltype(&Base::valid), bool (DbData::*)() const>>
class ValidByFlag : public Base {
 public:
  using Base::Base;
};
template <class Base>
class ValidByFlag<Base, true> : public Base {
 public:
  using Base::Base;
  /// True until DbData::clear() takes the valid flag away; the kit's setters
  /// give it back.
  bool valid() const override { return this->isBitOn(DbData::kValidFlag); }
};
}  // namespace internal
/// @endcond

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
