// Every text the library reports or traces, and the source-file names it
// reports them from: the one place to read them all. A "{...}" marks a piece
// filled in when the report is made (composeText), in the order written.
#pragma once

namespace tarvex::internal {

namespace files {

inline constexpr char kDbData[] = ".\\DbData";
inline constexpr char kDbDataModel2DataBaseTypeMap[] = ".\\DbDataModel2DataBaseTypeMap";
inline constexpr char kDbMetaBase[] = ".\\DbMetaBase";
inline constexpr char kDbKitState[] = ".\\DbKitState";
inline constexpr char kDbMetaManagerBase[] = ".\\DbMetaManagerBase";
inline constexpr char kDbType2MetaMap[] = ".\\DbType2MetaMap";
// Passed to the framework with each provider it creates, and the source of
// the start-up's own report.
inline constexpr char kMetaModule[] = ".\\MetaModule";

}  // namespace files

namespace texts {

// --- Contract failures -----------------------------------------------------
// A base operation that a subclass must override.
inline constexpr wchar_t kImplementInSubclasses[] = L"VORASSERT (implement_in_subclasses) failed";
// A base operation that does not apply, or a state that cannot arise.
inline constexpr wchar_t kFalse[] = L"VORASSERT (false) failed";
inline constexpr wchar_t kNothingToLoad[] =
    L"delayed loading of data while there is nothing to load";
// The sort-id table is used before DbData::init.
inline constexpr wchar_t kNoSortTable[] = L"VORASSERT (sm_pArrayDataId2SortId) failed";
inline constexpr wchar_t kDataModelTypeTooLarge[] = L"VORASSERT (dataModelType < 127) failed";

inline constexpr wchar_t kDuplicateDataId[] =
    L"Die DataId {data id} wurde doppelt vergeben ( {class} )!";
inline constexpr wchar_t kReplacedDataIdNotFound[] =
    L"The DataId {data id} was not found, while trying to replace ( {class} )!";
// addData or replaceData given null.
inline constexpr wchar_t kNullData[] = L"VORASSERT (pData) failed";
// addData or replaceData given a value the meta lists already.
inline constexpr wchar_t kDataGivenTwice[] =
    L"The value of DataId {data id} is held by this meta already ( {class} )!";
// A container walk or id change that met containers and embedded metas
// nested deeper than the bound, or a value that contains itself.
inline constexpr wchar_t kNestedTooDeep[] =
    L"Containers and embedded metas nested deeper than {levels} levels ( {class} ): the walk "
    L"stopped there!";
inline constexpr wchar_t kEmbeddedMetaNotRegistered[] =
    L"Metareihenfolge \u00fcberarbeiten. Diese Meta muss vorher registriert werden!";
inline constexpr wchar_t kNullObject[] =
    L"Es wurde versucht im Meat das Objekt mit einem NULL-Pointer zu setzen ( {class} )!";

inline constexpr wchar_t kNoPool[] = L"VORASSERT (pMetas) failed";
inline constexpr wchar_t kNoMeta[] = L"VORASSERT (pMeta) failed";
inline constexpr wchar_t kNoNewMeta[] = L"VORASSERT (pNewMeta) failed";
// registerMeta given a meta this registry holds already.
inline constexpr wchar_t kMetaRegisteredTwice[] =
    L"Die Meta wurde doppelt registriert ( {class} )!";
// registerMeta given a working meta, one a pool of the registry holds.
inline constexpr wchar_t kWorkingMetaRegistered[] =
    L"Eine Arbeits-Meta kann nicht registriert werden ( {class} )!";
// No memory for per-thread slots (a registry's pools, or the count of
// direct arrays): the process ends.
inline constexpr wchar_t kNoSlotStorage[] =
    L"Kein Speicher f\u00fcr Thread-Pl\u00e4tze (Registry oder Direktzeiger-Z\u00e4hlung): der "
    L"Prozess wird beendet!";
// registerMeta called while the registry is being torn down.
inline constexpr wchar_t kRegisterInTeardown[] =
    L"Die Registry wird abgebaut, die Meta wird nicht registriert ( {class} )!";
// Start-up finds metas with direct arrays, which the packing table indexes.
inline constexpr wchar_t kPackingInUse[] =
    L"The data-id packing was kept: {count} metas with direct data pointers still exist!";
// A type-map entry made before the kit's set-up, of another database type
// than the kit's value kind of that data-model type.
inline constexpr wchar_t kModelTypeClash[] =
    L"Data-model type {model} is database type {found} in the type map, not {kit} as the kit's "
    L"value kind: the entry is kept!";

// --- Debug traces under "Meta" ---------------------------------------------
inline constexpr wchar_t kInvalidBuildStamp[] = L"At least one invalid build stamp.";
inline constexpr wchar_t kRecycledMetaCount[] = L"DbMetaManager-recycled Metacount {count}\n";
inline constexpr wchar_t kInUseCount[] = L"DbMetaManager-InUseCount {count}\n";
inline constexpr wchar_t kTypeInUseCount[] =
    L"DbMetaManager-TypeInUseCount Type{type id}Count{count}\n";
inline constexpr wchar_t kMetaNotGivenBack[] = L"Meta {class} wurde nicht freigegeben!";
inline constexpr wchar_t kObjectNotGivenBack[] = L"Objekt in Meta {class} wurde nicht freigegeben!";

}  // namespace texts

}  // namespace tarvex::internal
