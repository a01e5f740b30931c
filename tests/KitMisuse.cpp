// Misuses of the provider kit that must not compile. Built as is, the file
// is the control (every line compiles); with KIT_MISUSE_<case> defined it
// must fail with that case's message (CheckKitMisuse.cmake).
#include <memory>
#include <utility>

#include "TarvexKit.h"

namespace {

constexpr unsigned short kType = 70;
constexpr tarvex::DataKey<std::int32_t> kCount{60101};
constexpr tarvex::DataKey<bool> kFlag{60105};
constexpr tarvex::DataKey<short> kShort{60106};
constexpr tarvex::DataKey<double> kLength{60107};
constexpr tarvex::DataKey<DbObjectId> kAnchor{60108};  // a reference
constexpr tarvex::DataKey<tarvex::OwnObjectId> kOwnId{60109};

class GoodMeta final : public tarvex::DbMetaImpl<GoodMeta, kType> {
 public:
  GoodMeta() {
    addData(new tarvex::DbLongValue(kCount));
    addData(new tarvex::DbBoolValue(kFlag));
    addData(new tarvex::DbShortValue(kShort));
    addData(new tarvex::DbDoubleValue(kLength));
    addData(new tarvex::DbReferenceValue<>(kAnchor));
    addData(new tarvex::DbObjectIdValue(kOwnId));
    addData(new tarvex::DbLongValue(60110));  // a plain data id still builds a value
  }
};

#if defined(KIT_MISUSE_NEIGHBOUR_DERIVED)
// Copied from GoodMeta, with the template argument left as it was.
class CopiedMeta final : public tarvex::DbMetaImpl<GoodMeta, kType + 1> {};
#elif defined(KIT_MISUSE_SUBCLASSED_META)
class OpenMeta : public tarvex::DbMetaImpl<OpenMeta, kType + 1> {};
class SubMeta final : public OpenMeta {};
#elif defined(KIT_MISUSE_HALF_SCHEMA)
// Only the kit's own pure operation: three of the interface's stay pure.
class HalfSchema final : public tarvex::DbSchemaBase {
 public:
  void recordEntry(DbMetaBase*, unsigned short, unsigned char,
                   const tarvex::DbSchemaDefault&) override {}
};
#endif

class OtherMeta final : public tarvex::DbMetaImpl<OtherMeta, kType + 2> {};
constexpr tarvex::EmbeddedKey<GoodMeta> kPart{60105};
constexpr tarvex::ContainerKey kParts{60106};

class GoodTable final : public IDbMetaTable {
 public:
  bool initTable() override { return true; }
  bool exitTable() override { return true; }
};

}  // namespace

int kitMisuse() {
  GoodMeta meta;
  const DbMetaManagerBase registry;
  tarvex::DbBorrowedMeta handle(registry, kType);
  tarvex::set(meta, kCount, 3);
  // Writes of the key's own type, or widened without loss, compile.
  tarvex::set(meta, kShort, short{3});
  tarvex::set(meta, kCount, short{3});
  tarvex::set(meta, kLength, 2.5F);
  tarvex::set(meta, kFlag, true);
  tarvex::set(meta, kAnchor, DbObjectId(1, 2, 3));
  tarvex::set(meta, kOwnId, DbObjectId(70, 2, 3));
  handle.set(kLength, 2.5);
  const unsigned short plainId = kCount.dataId();
  tarvex::DbEmbeddedValue embedded(60102, std::make_unique<GoodMeta>());
  tarvex::DbEmbeddedValue keyed(kPart, std::make_unique<GoodMeta>());
  tarvex::DbReferenceContainerValue parts(kParts);
  // Initial values of the key's kind, or converted without loss.
  tarvex::DbStringValue named(tarvex::DataKey<EString>{60111}, L"bolt");
  tarvex::DbDoubleValue widened(kLength, 1.5F);
  tarvex::DbShortValue small(kShort, short{3});
  tarvex::set(meta, kPart, kCount, 4);
  tarvex::DbRecordingSchema schema;
  tarvex::DbTablesScope tables;
  tarvex::DbMetaTableScope<tarvex::DbMetaTable<GoodMeta>> table(L"GoodTable");
  tarvex::DbFrameworkScope framework(tables);
#if defined(KIT_MISUSE_RVALUE_REGISTRY)
  tarvex::DbBorrowedMeta dangling(DbMetaManagerBase(), kType);
#elif defined(KIT_MISUSE_NEIGHBOUR_DERIVED)
  CopiedMeta copied;
#elif defined(KIT_MISUSE_SUBCLASSED_META)
  SubMeta sub;
#elif defined(KIT_MISUSE_NULL_EMBEDDED_META)
  tarvex::DbEmbeddedValue none(60103, nullptr);
#elif defined(KIT_MISUSE_UNSUPPORTED_KEY_KIND)
  constexpr tarvex::DataKey<unsigned> kUnsigned{60104};
#elif defined(KIT_MISUSE_WRONG_KEY_KIND)
  tarvex::set(meta, kCount, EString(L"three"));
#elif defined(KIT_MISUSE_EMBEDDED_KEY_AS_ID)
  tarvex::DbLongValue count(kPart);
#elif defined(KIT_MISUSE_CONTAINER_KEY_AS_ID)
  tarvex::DbEmbeddedValue part(kParts, std::make_unique<GoodMeta>());
#elif defined(KIT_MISUSE_CONTAINER_KEY_AS_DATA_KEY)
  tarvex::get(meta, kParts);
#elif defined(KIT_MISUSE_EMBEDDED_META_OF_OTHER_CLASS)
  tarvex::DbEmbeddedValue other(kPart, std::make_unique<OtherMeta>());
#elif defined(KIT_MISUSE_NULL_KEYED_EMBEDDED_META)
  tarvex::DbEmbeddedValue none(kPart, nullptr);
#elif defined(KIT_MISUSE_EMBEDDED_KEY_NOT_A_META)
  constexpr tarvex::EmbeddedKey<GoodTable> kTable{60107};
#elif defined(KIT_MISUSE_HALF_SCHEMA)
  HalfSchema half;
#elif defined(KIT_MISUSE_TEMPORARY_TABLES)
  tarvex::DbFrameworkScope detached{tarvex::DbTablesScope()};
#elif defined(KIT_MISUSE_COPIED_FRAMEWORK_SCOPE)
  tarvex::DbFrameworkScope copied(framework);
#elif defined(KIT_MISUSE_COPIED_META_TABLE_SCOPE)
  auto copied = table;
#elif defined(KIT_MISUSE_META_TABLE_OF_NO_META)
  tarvex::DbMetaTable<GoodMeta, GoodTable> notAllMetas;  // one class not a meta is refused
#elif defined(KIT_MISUSE_META_TABLE_SCOPE_OF_NO_TABLE)
  tarvex::DbMetaTableScope<GoodMeta> notATable(L"GoodMeta");
#elif defined(KIT_MISUSE_KEY_OF_ANOTHER_KIND)
  tarvex::DbDoubleValue length(kCount);
#elif defined(KIT_MISUSE_REFERENCE_KEY_FOR_OBJECT_ID)
  tarvex::DbObjectIdValue own(kAnchor);
#elif defined(KIT_MISUSE_OBJECT_ID_KEY_FOR_REFERENCE)
  tarvex::DbReferenceValue<> anchor(kOwnId);
#elif defined(KIT_MISUSE_KEY_AS_PLAIN_ID)
  meta.getData(kCount);
#elif defined(KIT_MISUSE_REAL_INTO_INTEGER)
  tarvex::set(meta, kCount, 2.9);
#elif defined(KIT_MISUSE_TEXT_INTO_BOOL)
  tarvex::set(meta, kFlag, "yes");
#elif defined(KIT_MISUSE_WIDE_INTO_SHORT)
  const int wide = 70000;
  handle.set(kShort, wide);
#elif defined(KIT_MISUSE_EMPTY_HANDLE)
  tarvex::DbBorrowedMeta later;
#elif defined(KIT_MISUSE_MOVED_HANDLE)
  tarvex::DbBorrowedMeta moved(std::move(handle));
#elif defined(KIT_MISUSE_COPIED_HANDLE)
  tarvex::DbBorrowedMeta copy(std::as_const(handle));
#elif defined(KIT_MISUSE_ASSIGNED_HANDLE)
  handle = tarvex::DbBorrowedMeta(registry, kType);
#elif defined(KIT_MISUSE_LOSSY_INITIAL_VALUE)
  tarvex::DbLongValue truncated(kCount, 2.9);
#elif defined(KIT_MISUSE_COPIED_SCOPE)
  const tarvex::DbTablesScope copy(tables);
#endif
  return tarvex::get(meta, kCount) + plainId;
}
