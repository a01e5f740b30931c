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
#endif

}  // namespace

int kitMisuse() {
  GoodMeta meta;
  const DbMetaManagerBase registry;
  tarvex::DbBorrowedMeta handle(registry, kType);
  tarvex::set(meta, kCount, 3);
  tarvex::DbEmbeddedValue embedded(60102, std::make_unique<GoodMeta>());
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
#endif
  return tarvex::get(meta, kCount);
}
