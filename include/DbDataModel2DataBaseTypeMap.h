/// @class DbDataModel2DataBaseTypeMap
/// Process-wide map from a value's data-model
/// type (0..126) to its database type.
///
/// Filled from outside with addDataModelType; every entry starts as the
/// undefined database type 127. Lookups without a table, of an unregistered
/// entry or of a data-model type of 127 or more give 127.
///
/// Thread safety: lookups may run on many threads at once. addDataModelType
/// and deinit must not run while another thread looks types up.
#pragma once

#include <vector>

#include "TarvexExport.h"

/// Database type codes that the meta operations tell apart.
namespace DbDatabaseType {
enum : unsigned char {
  kBoolean = 1,
  kCharacter = 2,
  kShort = 3,
  kLong = 4,
  kFloat = 5,
  kDouble = 6,
  kPoint = 7,
  kContainer = 11,
  kEmbeddedObject = 13,
  kObjectId = 14,
  kReference15 = 15,
  kReference16 = 16,
  kReference18 = 18,
  kPoint3D = 19,
  kUndefined = 0x7F,
};
}  // namespace DbDatabaseType

class TARVEX_EXPORT DbDataModel2DataBaseTypeMap {
 public:
  /// Number of entries: data-model types 0..126.
  static constexpr unsigned char kTableSize = 127;
  /// Database type of every unset entry and of every failed lookup.
  static constexpr char kUndefinedDatabaseType = DbDatabaseType::kUndefined;

  DbDataModel2DataBaseTypeMap() = default;
  /// Nothing to copy: the state is process-wide.
  DbDataModel2DataBaseTypeMap& operator=(const DbDataModel2DataBaseTypeMap&) = default;

  /// The table, created with 127 entries of 127 on first use.
  static std::vector<char>* getInstance();
  /// Nothing to set up: the table is filled by registration.
  static void init();
  /// Frees the table; later lookups give 127 until the next registration.
  static void deinit();
  /// Sets the entry of `dataModelType`, creating the table if needed.
  /// A data-model type of 127 or more has no entry: reported and ignored.
  static void addDataModelType(unsigned char dataModelType, char databaseType);

  /// The database type of `dataModelType`; 127 when unknown. Takes no lock.
  static char getDatabaseType(unsigned char dataModelType) {
    if (s_pInstance == nullptr || dataModelType >= kTableSize) return kUndefinedDatabaseType;
    return (*s_pInstance)[dataModelType];
  }

  /// The table; null before the first registration and after deinit().
  static std::vector<char>* s_pInstance;
};
