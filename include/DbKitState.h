/// @class DbKitState
/// What the provider kit keeps once per process, and the set-up steps it
/// shares with the library's own start-up.
///
/// The kit is header-only, and a static of a header exists once per image
/// (each shared library built with hidden visibility, each plug-in loaded
/// at run time). Everything the kit must see the same from every image
/// lives here instead: the chain of the kit's installed schemas, whether
/// the framework runs, and which meta classes are the kit's. Its set-up
/// steps (clearing the data-id packing, entering the kit's value kinds in
/// the type map) take the library's guards: the packing is cleared only
/// while no direct array lives, and a type-map entry made before is kept.
///
/// Thread safety: the set-up operations and the schema chain are for the
/// set-up thread, while no other thread uses Tarvex. isKitMetaClass may run
/// on any number of threads once the metas it asks about are registered.
#pragma once

#include <typeinfo>

#include "TarvexExport.h"

class IDbDataSchema;

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

/// The database type that the kit's data-model type `dataModelType` stands
/// for (DbValueModelType), or -1 for any other data-model type.
constexpr int kitDatabaseType(unsigned char dataModelType) {
  switch (dataModelType) {
    case DbValueModelType::kBool:
    case DbValueModelType::kChar:
    case DbValueModelType::kShort:
    case DbValueModelType::kLong:
    case DbValueModelType::kFloat:
    case DbValueModelType::kDouble:
    case DbValueModelType::kPoint:
    case DbValueModelType::kContainer:
    case DbValueModelType::kEmbeddedObject:
    case DbValueModelType::kObjectId:
    case DbValueModelType::kReference15:
    case DbValueModelType::kReference16:
    case DbValueModelType::kReference18:
    case DbValueModelType::kPoint3D:
    case DbValueModelType::kString:
    case DbValueModelType::kTime:
      return dataModelType - 20;
    default:
      return -1;
  }
}

}  // namespace tarvex

class TARVEX_EXPORT DbKitState {
 public:
  /// The line of the report of a type-map entry that clashes with a kit kind.
  static constexpr int kModelTypeClashLine = 60;
  /// Slots of the table of kit meta classes (by type id modulo this).
  static constexpr unsigned kKitMetaClassSlots = 1024;

  /// One installed schema of the kit, linked into the process-wide chain.
  /// Owned by the schema; the chain only points to it. Value-initialise it
  /// (`SchemaLink link{}`): a link not installed has no schema.
  struct SchemaLink {
    IDbDataSchema* schema;    ///< The schema this link belongs to.
    IDbDataSchema* previous;  ///< Installed when it was made.
    SchemaLink* older;        ///< The link made before, still living.
    SchemaLink* newer;        ///< The link made after, still living.
  };

  /// Installs `schema` as the process-wide one and links `link` as the
  /// newest of the chain. REQUIRES: `link` is linked nowhere.
  static void installSchema(SchemaLink& link, IDbDataSchema& schema) noexcept;
  /// Unlinks `link` as its schema ends: if it is installed, what it replaced
  /// comes back; a newer schema that replaced it will put back what it had
  /// replaced. So the installed schema is never one that has ended, in
  /// whatever order schemas end. Nothing happens to a link never installed.
  static void removeSchema(SchemaLink& link) noexcept;

  /// Whether the framework runs: the library's module has started and not
  /// yet shut down (however it was started).
  static bool frameworkRunning() noexcept;

  /// The module's start-up step: clears the data-id packing unless metas
  /// with direct arrays live, whose packed ids it must keep (reported from
  /// ".\MetaModule", line 43). False when it kept the packing.
  static bool clearDataIdPacking();
  /// Enters every data-model type of tarvex::DbValueModelType in the type
  /// map (made if missing). An entry of another database type, made before,
  /// is kept and reported ("Data-model type <m> is database type <d> in the
  /// type map, not <k> as the kit's value kind: the entry is kept!", file
  /// ".\DbKitState", line kModelTypeClashLine). False after such a report.
  static bool registerValueModelTypes();

  /// Notes `metaClass` as a kit meta class of `typeId`. The first class
  /// noted in a slot keeps it: only a slot still empty is written.
  /// REQUIRES: a class is first noted on the set-up thread (the kit notes it
  /// whenever a meta of it makes a working meta, first at its registration).
  static void noteKitMetaClass(unsigned short typeId, const std::type_info& metaClass) noexcept {
    const std::type_info*& slot = sm_KitMetaClasses[typeId % kKitMetaClassSlots];
    if (slot == nullptr) slot = &metaClass;
  }
  /// Forgets every noted class, so that none of a provider library
  /// unloaded afterwards stays noted. REQUIRES: on the set-up thread, while
  /// no other thread uses Tarvex (DbTablesScope calls it at its end, after
  /// the registry's teardown).
  static void forgetKitMetaClasses() noexcept;
  /// Whether `metaClass`, the class of a meta of `typeId`, was noted as a
  /// kit meta class (by this very type_info object: the image that made the
  /// meta noted it; the pointer is compared, never followed). False answers
  /// nothing: the class may be the kit's all the same. A load and a
  /// comparison.
  static bool isKitMetaClass(unsigned short typeId, const std::type_info& metaClass) noexcept {
    return sm_KitMetaClasses[typeId % kKitMetaClassSlots] == &metaClass;
  }

 private:
  friend class IDbDataSchema;
  friend class MetaModule;
  // Every schema's end: no kit schema puts back one that has ended, whether
  // or not it was the kit's.
  static void schemaEnding(const IDbDataSchema* schema) noexcept;
  // The library's module marks its start-up and shut-down.
  static void moduleStarted() noexcept;
  static void moduleShutDown() noexcept;

  /// Noted kit meta classes, by type id modulo kKitMetaClassSlots.
  static const std::type_info* sm_KitMetaClasses[kKitMetaClassSlots];
};
