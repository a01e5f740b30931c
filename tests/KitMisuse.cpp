// Misuses of the provider kit that must not compile. Built as is, the file
// is the control (every line compiles); with KIT_MISUSE_<case> defined it
// must fail with that case's message (CheckKitMisuse.cmake).
#include <memory>

#include "TarvexKit.h"

namespace {

constexpr unsigned short kType = 70;
constexpr tarvex::DataKey<std::int32_t> kCount{60101};

class GoodMeta final : public tarvex::DbMetaImpl<GoodMeta, kType> {
 public:
  GoodMeta() { addData(new tarvex::DbLongValue(kCount)); }
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
  tarvex::DbEmbeddedValue embedded(60102, std::make_unique<GoodMeta>());
  tarvex::DbEmbeddedValue keyed(kPart, std::make_unique<GoodMeta>());
  tarvex::DbReferenceContainerValue parts(kParts);
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
  tarvex::DbMetaTable<GoodTable> notOfMetas;
#elif defined(KIT_MISUSE_META_TABLE_SCOPE_OF_NO_TABLE)
  tarvex::DbMetaTableScope<GoodMeta> notATable(L"GoodMeta");
#endif
  return tarvex::get(meta, kCount);
}
