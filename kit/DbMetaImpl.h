/// @file
/// DbMetaImpl: class template for concrete metas.
#pragma once

#include <memory>
#include <type_traits>
#include <typeinfo>

#include "DbKitState.h"
#include "DbMetaCore.h"
#include "DbObjectId.h"
#include "EAssertAndTrace.h"
#include "EString.h"

namespace tarvex {

/// True when `T` is a complete type at the point of first use.
template <class T, class = void>
struct IsCompleteType : std::false_type {};
/// @copydoc IsCompleteType
template <class T>
struct IsCompleteType<T, std::void_t<decltype(sizeof(T))>> : std::true_type {};

/// Stops compilation with a readable message when the object class is only
/// declared where a meta needs to look into it.
template <class Object>
constexpr void requireObjectClass() {
  static_assert(IsCompleteType<Object>::value,
                "DMMemberBase is only declared by Tarvex: define it in your application "
                "(constructible from a DbObjectId, with getObjectId()) and include its "
                "header before this meta class");
}

/// A concrete meta of type id `kTypeId`: derive `Derived` from it and add the
/// values in Derived's constructor, nothing else:
///
///     class PartMeta final : public tarvex::DbMetaImpl<PartMeta, 42> {
///      public:
///       PartMeta() { addData(new tarvex::DbLongValue(60010)); }
///     };
///
/// createMeta() makes `new Derived`, so Derived needs a default constructor
/// that adds the same values; the new meta gets a copy of the string limit
/// map of the meta it is made from, so every working meta of a pool carries
/// the registered meta's limits. Derived must be the class itself and
/// final: a class that names another as Derived, or a subclass of a kit
/// meta, would make createMeta() produce metas of another class. A subclass
/// and a Derived of another type id do not compile; a class that names
/// another of the same type id is refused by createMeta() (see there). Only in Derived's
/// constructor does supportDirectDataPointer() answer `kDirect`, which decides whether addData
/// packs the data ids.
///
/// `Object` names the application's object class, normally DMMemberBase,
/// which Tarvex only declares (see DbForward.h). With it, binding an object
/// takes over its id (`object->getObjectId()`), and createObject() makes
/// `new Object(DbObjectId(kTypeId, 0, 0))`. Left void, the meta never looks
/// into objects and createObject() gives null.
template <class Derived, unsigned short kTypeId, bool kDirect = false, class Object = void>
class DbMetaImpl : public DbMetaCore {
 public:
  /// The type id of every meta of this class.
  static constexpr unsigned short kType = kTypeId;
  /// The line of createMeta's report of a meta not of its Derived class.
  static constexpr int kNotDerivedLine = 60;

  /// kTypeId.
  unsigned short getTypeId() const override { return kTypeId; }
  /// A new Derived, owned by the caller, with a copy of this meta's string
  /// limit map if it has one. Null, after a report ("VORASSERT (meta of the
  /// class it names as Derived) failed", file ".\\DbMetaImpl", line
  /// kNotDerivedLine), for a meta of another class: one that names another
  /// class of the same type id as Derived (registration reports the null
  /// answer too, and its pools get no meta of it).
  DbMetaBase* createMeta() override {
    // A class that names another of the same type id as Derived compiles;
    // its copies would be of that other class.
    if (typeid(*this) != typeid(Derived)) {
      EAssertAndTrace().outputAssertMsgAct(
          L"VORASSERT (meta of the class it names as Derived) failed", EString(L".\\DbMetaImpl"),
          kNotDerivedLine);
      return nullptr;
    }
    // The registered meta makes the first working meta on the set-up
    // thread: from then on a handle knows Derived as a kit meta class.
    DbKitState::noteKitMetaClass(kTypeId, typeid(Derived));
    std::unique_ptr<DbMetaBase> meta(new Derived);
    if (const StringLimitMap* limits = getStringLimitMap()) meta->setStringLimitMap(*limits);
    return meta.release();
  }
  /// As DbMetaCore; with an object class, first takes over the object's id.
  bool setObject(DMMemberBase* object, unsigned short mode) override {
    if constexpr (!std::is_void_v<Object>) {
      requireObjectClass<Object>();
      if (object != nullptr) setObjectId(static_cast<const Object*>(object)->getObjectId());
    }
    return DbMetaCore::setObject(object, mode);
  }
  /// Without an object class null; else a new object of type kTypeId,
  /// owned by the caller.
  DMMemberBase* createObject() override {
    if constexpr (std::is_void_v<Object>) {
      return nullptr;
    } else {
      requireObjectClass<Object>();
      return new Object(DbObjectId(kTypeId, 0, 0));
    }
  }

 protected:
  /// Checks Derived where it is first constructed (Derived is complete
  /// there).
  DbMetaImpl() {
    static_assert(std::is_base_of_v<DbMetaImpl, Derived>,
                  "DbMetaImpl<Derived, ...>: Derived must be the class deriving from it "
                  "(createMeta() makes a new Derived)");
    static_assert(std::is_final_v<Derived>,
                  "DbMetaImpl<Derived, ...>: declare Derived final; a subclass of it "
                  "would be copied by createMeta() as Derived, without its own values");
  }

  /// `kDirect`.
  bool supportDirectDataPointer() const override { return kDirect; }
};

}  // namespace tarvex
