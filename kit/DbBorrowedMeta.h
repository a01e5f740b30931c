/// @file
/// DbBorrowedMeta: a working meta borrowed from a registry for one scope.
#pragma once

#include <optional>
#include <thread>
#include <type_traits>
#include <typeinfo>

#include "DbDataKey.h"
#include "DbKitState.h"
#include "DbMetaBase.h"
#include "DbMetaCore.h"
#include "DbMetaManager.h"
#include "DbMetaManagerBase.h"
#include "DbValueBase.h"
#include "EAssertAndTrace.h"
#include "EString.h"

namespace tarvex {

/// Holds a free working meta from a registry and gives it back with clear()
/// when the handle goes out of scope or is given back early (giveBack()); a
/// meta is never given back twice.
///
/// A handle lives where it borrows: it is made with its registry (declared
/// before it) and can be neither made empty, moved, copied nor assigned, so
/// it cannot outlive a registry of the same scope, be declared before a
/// DbTablesScope and filled later, or travel to another thread; each of
/// these does not compile.
///
/// The meta is the handle's own until it is given back, bound to an object
/// or not: a handle made without an object marks its meta in use all the
/// same (through the base's setObject body, so the concrete class binds
/// nothing), and the registry hands it to no one else. Bind it later with
/// bind(), or use it unbound to describe the type.
///
/// A borrowed meta still carries the values of the object it held last;
/// resetValues() puts the kit's values back to their construction defaults
/// for a caller that does not fill every value itself.
///
/// A kit meta (DbMetaCore) tells its handle when it goes: given back behind
/// the handle (clear() or setObject(nullptr) through operator->, or the
/// registry's clearAllMetas), or deleted with its registry. The handle is
/// empty from then on, and its give-back only reports ("The borrowed meta
/// was given back behind the handle!", line kGivenBackBehindLine, or "The
/// borrowed meta was deleted with its registry before the handle gave it
/// back!", line kRegistryGoneLine; file ".\\DbBorrowedMeta"). A give-back
/// on a thread other than the borrowing one is reported ("The borrowed meta
/// was to be given back on another thread than the one that borrowed it!",
/// line kOtherThreadLine) and leaves the meta in use (check() shows it);
/// an explicit giveBack() keeps it held for the borrowing thread.
///
/// A report from giveBack() passes a throwing trace sink's exception on
/// (the handle is empty by then); at the handle's end, where nothing may
/// leave, the exception is dropped, as the library's teardown drops it.
///
/// Borrowing costs a look at the thread id and, for a meta class the kit
/// noted (DbKitState::isKitMetaClass), a comparison beyond the registry's
/// cycle.
class DbBorrowedMeta {
 public:
  /// The line of the report of a meta deleted while held.
  static constexpr int kRegistryGoneLine = 70;
  /// The line of the report of a meta given back behind the handle.
  static constexpr int kGivenBackBehindLine = 80;
  /// The line of the report of a give-back on another thread.
  static constexpr int kOtherThreadLine = 90;

  /// A meta of `typeId` from the process-wide registry, bound to `object`
  /// (with `mode`) unless `object` is null. Empty, without a report, if the
  /// thread's pool has no meta of the type: not registered, or registered
  /// after the thread's first borrow from the registry.
  explicit DbBorrowedMeta(unsigned short typeId, DMMemberBase* object = nullptr,
                          unsigned short mode = 0)
      : DbBorrowedMeta(*DbMetaManager::getInstance(), typeId, object, mode) {}
  /// The same, from `registry` (a local one falls back to the process-wide
  /// one as DbMetaManagerBase::getMeta does). Asks through the registry's
  /// own class, so a DbMetaManager is asked without virtual dispatch. The
  /// registry must outlive the handle: a temporary one does not compile.
  /// When binding throws, the meta is given back and the exception passes.
  template <class Registry,
            class = std::enable_if_t<std::is_base_of_v<
                DbMetaManagerBase, std::remove_cv_t<std::remove_reference_t<Registry>>>>>
  DbBorrowedMeta(Registry&& registry, unsigned short typeId, DMMemberBase* object = nullptr,
                 unsigned short mode = 0)
      : m_Thread(std::this_thread::get_id()) {
    static_assert(std::is_lvalue_reference_v<Registry>,
                  "DbBorrowedMeta borrows from a registry that must outlive it: "
                  "pass a named registry, not a temporary");
    m_Hold.meta = registry.getMeta(typeId);
    if (m_Hold.meta == nullptr) return;
    if (object == nullptr) {
      reserve(*m_Hold.meta);
    } else {
      bindDetached(object, mode);
    }
    // Asked once the meta is bound, when its class is at hand.
    m_pCore = DbKitState::isKitMetaClass(typeId, typeid(*m_Hold.meta))
                  ? static_cast<DbMetaCore*>(m_Hold.meta)
                  : dynamic_cast<DbMetaCore*>(m_Hold.meta);
    attach();
  }
  /// Refused: a handle borrows where it is made (an empty handle filled
  /// later could outlive the registry or the tables it borrowed from).
  template <bool kRefused = true>
  DbBorrowedMeta() {
    static_assert(!kRefused,
                  "DbBorrowedMeta borrows where it is made: declare it with its registry "
                  "and type, after the registry and the DbTablesScope");
  }
  /// Refused: moving would carry the meta out of its registry's scope or
  /// to another thread.
  template <class Other,
            class = std::enable_if_t<std::is_same_v<std::decay_t<Other>, DbBorrowedMeta>>>
  DbBorrowedMeta(Other&& /*other*/) {  // NOLINT(bugprone-forwarding-reference-overload)
    static_assert(internal::kNever<Other>,
                  "DbBorrowedMeta stays where it borrowed: it cannot be moved or copied");
  }
  DbBorrowedMeta(const DbBorrowedMeta&) = delete;
  /// Refused, as moving.
  template <class Other,
            class = std::enable_if_t<std::is_same_v<std::decay_t<Other>, DbBorrowedMeta>>>
  DbBorrowedMeta& operator=(Other&& /*other*/) {
    static_assert(internal::kNever<Other>,
                  "DbBorrowedMeta stays where it borrowed: it cannot be moved or copied");
    return *this;
  }
  DbBorrowedMeta& operator=(const DbBorrowedMeta&) = delete;
  /// Gives the meta back, if any; on another thread reports and leaves it
  /// in use. An exception from a report goes no further.
  ~DbBorrowedMeta() {
    try {
      giveBackOrLetGo(/*atEnd=*/true);
    } catch (...) {  // NOLINT(bugprone-empty-catch): a throwing sink ends here
    }
  }

  /// Gives the meta back now (clear()); the handle is empty afterwards.
  /// Nothing happens on an empty handle; a meta lost since (see the class)
  /// is reported once. On another thread: reported, and the meta stays
  /// held. The exception of a throwing trace sink passes, the handle
  /// already as described.
  void giveBack() { giveBackOrLetGo(/*atEnd=*/false); }

  /// Binds `object` to the meta held, as setObject does (which reports a
  /// null object); false on an empty handle. A refused object leaves the
  /// meta held; when binding throws, the meta is given back and the
  /// exception passes.
  bool bind(DMMemberBase* object, unsigned short mode = 0) {
    if (m_Hold.meta == nullptr) return false;
    detach();  // a refused object frees the meta for a moment: not a loss
    const bool bound = bindDetached(object, mode);
    attach();
    return bound;
  }

  /// Puts every kit value of the meta back to its construction state
  /// (containers empty, embedded objects' values reset too, valid again);
  /// values of other classes stay as they are. Nothing happens on an empty
  /// handle.
  void resetValues() const {
    if (m_Hold.meta != nullptr) tarvex::resetValues(*m_Hold.meta);
  }

  ///@{
  /// Typed access through `key`, as the free get, tryGet and set; on an
  /// empty handle as on a meta without the value (a write is reported).
  template <class T>
  typename DataKey<T>::Result get(DataKey<T> key) const {
    if (m_Hold.meta == nullptr) return internal::missingValue<internal::DataKind<T>>();
    return tarvex::get(*m_Hold.meta, key);
  }
  template <class T>
  std::optional<typename DataKey<T>::Value> tryGet(DataKey<T> key) const {
    if (m_Hold.meta == nullptr) return std::nullopt;
    return tarvex::tryGet(*m_Hold.meta, key);
  }
  template <class T, class U>
  bool set(DataKey<T> key, const U& value) const {
    if (m_Hold.meta != nullptr) return tarvex::set(*m_Hold.meta, key, value);
    internal::reportMissingValue(kKeyMissingSetLine);
    return false;
  }
  ///@}

  /// The meta, or null.
  DbMetaBase* get() const noexcept { return m_Hold.meta; }
  /// The meta. REQUIRES: the handle is not empty. Give it back through the
  /// handle, not with clear() or setObject(nullptr) on it (see the class).
  DbMetaBase* operator->() const noexcept { return m_Hold.meta; }
  /// The meta. REQUIRES: the handle is not empty.
  DbMetaBase& operator*() const noexcept { return *m_Hold.meta; }
  /// Whether the handle holds a meta.
  explicit operator bool() const noexcept { return m_Hold.meta != nullptr; }

 private:
  static void report(const wchar_t* text, int line) {
    EAssertAndTrace().outputAssertMsgAct(text, EString(L".\\DbBorrowedMeta"), line);
  }
  // Reports, once, a meta the handle lost (see the class); quiet otherwise.
  void reportLoss() {
    const internal::MetaHold::Loss loss = m_Hold.loss;
    m_Hold.loss = internal::MetaHold::Loss::kNone;
    if (loss == internal::MetaHold::Loss::kDeleted) {
      report(L"The borrowed meta was deleted with its registry before the handle gave it back!",
             kRegistryGoneLine);
    } else if (loss == internal::MetaHold::Loss::kGivenBack) {
      report(L"The borrowed meta was given back behind the handle!", kGivenBackBehindLine);
    }
  }
  static void reportOtherThread() {
    report(
        L"The borrowed meta was to be given back on another thread than the one that borrowed "
        L"it!",
        kOtherThreadLine);
  }
  // Marks `meta` in use without binding an object: the base body only tests
  // the pointer, and the concrete class's setObject is not called.
  static void reserve(DbMetaBase& meta) {
    static char marker;
    meta.DbMetaBase::setObject(reinterpret_cast<DMMemberBase*>(&marker), 0);
  }
  // giveBack(), asking for the thread once; at the handle's end a meta held
  // on another thread stays in use, and the handle lets go of it.
  void giveBackOrLetGo(bool atEnd) {
    if (m_Hold.meta == nullptr) {
      reportLoss();
      return;
    }
    if (std::this_thread::get_id() != m_Thread) {
      if (atEnd) {
        detach();  // the meta stays in use; only its note of this handle goes
        m_Hold.meta = nullptr;
      }
      reportOtherThread();
      return;
    }
    DbMetaBase* meta = m_Hold.meta;
    detach();
    m_Hold.meta = nullptr;
    m_pCore = nullptr;
    meta->clear();
  }
  // Lets a kit meta tell this handle when it goes (see the class).
  void attach() noexcept {
    if (m_pCore != nullptr) m_pCore->m_pHold = &m_Hold;
  }
  void detach() noexcept {
    if (m_pCore != nullptr) m_pCore->m_pHold = nullptr;
  }
  // Binds a meta this handle is not attached to; one whose binding refused
  // the object stays held all the same, one whose binding threw is given
  // back.
  bool bindDetached(DMMemberBase* object, unsigned short mode) {
    bool bound = false;
    try {
      bound = m_Hold.meta->setObject(object, mode);
    } catch (...) {
      giveBack();
      throw;
    }
    if (!m_Hold.meta->inUse()) reserve(*m_Hold.meta);
    return bound;
  }

  internal::MetaHold m_Hold;
  DbMetaCore* m_pCore = nullptr;  // the meta as a kit meta, or null for another class
  std::thread::id m_Thread;
};
}  // namespace tarvex
