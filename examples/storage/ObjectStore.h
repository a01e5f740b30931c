/// @file
/// ObjectStore: a sample storage layer that saves and loads objects through
/// their metas, on SQLite 3. docs/storage-layout.md describes the tables.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "DbData.h"
#include "DbMetaBase.h"
#include "DbObjectId.h"

struct sqlite3;
struct sqlite3_stmt;

namespace tarvex_store {

/// Why the store refused a file or an operation; what() names the file and
/// the reason. Nothing committed earlier is touched by the failed operation.
class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// The database types the application gives the two stored kinds that the
/// library names no code for. Every other kind the store reads and writes
/// is one of the library's codes (DbDatabaseType).
struct StoredKinds {
  unsigned char stringType = 0;  ///< a value read with getString, written with setDataString
  unsigned char timeType = 0;    ///< a value read with getTime, written with setDataTime
};

/// One row of the value table: one value of an object, of an object
/// embedded in it (scope names the embedding data ids, "60402/"), or one
/// element of a container (element 0 and up; the container itself has -1).
struct StoredValue {
  /// How the datum is held, as SQLite holds it.
  enum class Datum : unsigned char { kNone, kInteger, kReal, kText, kBlob };

  std::string scope;               ///< "" for the object's own values
  unsigned short dataId = 0;       ///< the value's data id
  std::int32_t element = -1;       ///< position in its container, -1 for a value
  unsigned char databaseType = 0;  ///< DbData::getDatabaseType() when written
  Datum datum = Datum::kNone;      ///< which of the three fields below holds it
  std::int64_t integer = 0;        ///< an integral datum, a packed object id
  double real = 0;                 ///< a real datum
  std::string bytes;               ///< a text (UTF-8) or blob datum
  std::int64_t embeddedId = 0;     ///< a reference's embedded id

  /// Same place, same type, same datum.
  bool operator==(const StoredValue& other) const;
  bool operator!=(const StoredValue& other) const { return !(*this == other); }
};

/// The value kept for a stored value that the loading meta does not know:
/// every row of its data id, as raw unknown data, so that the next save
/// writes it back unchanged. The store adds it to the meta on load and
/// takes it out again in StoreConnection::finish.
class StoredUnknownValue final : public DbData {
 public:
  /// An empty unknown value of `dataId`.
  explicit StoredUnknownValue(unsigned short dataId);
  using DbData::setUnknownData;
  /// The raw rows.
  bool getUnknownData(unsigned char** data, std::uint32_t* size) override;
  /// Keeps `size` bytes of `data`; `code` is the first row's database type.
  void setUnknownData(const unsigned char* data, std::uint32_t size, unsigned char code) override;
  /// Always valid: it holds what was stored.
  bool valid() const override { return true; }
  /// No data-model type: the meta operations leave the value alone.
  unsigned char getDataModelType() const override { return 0xFF; }

 private:
  std::vector<unsigned char> m_Bytes;
};

class StoreConnection;

/// A store file: opened (and made, when new or empty) once, checked to
/// hold this layout; each thread then talks to it through a connection of
/// its own (connect()). The file is kept in WAL mode, so readers never wait
/// for the one writer, and a committed transaction survives the process
/// being killed.
class ObjectStore {
 public:
  /// Opens `path`, creating the file and its tables if it does not exist or
  /// is empty. Throws StoreError when the file is no SQLite database, holds
  /// another layout, cannot be written or the disk is full.
  ObjectStore(std::string path, StoredKinds kinds);
  ObjectStore(const ObjectStore&) = delete;
  ObjectStore& operator=(const ObjectStore&) = delete;

  /// A connection of the calling thread's own.
  std::unique_ptr<StoreConnection> connect() const;

  /// The file.
  const std::string& path() const { return m_Path; }
  /// The file's size in bytes, its write-ahead log folded in first.
  std::uint64_t fileSize() const;

  /// The rows save() writes for the object bound to `meta`, its values in
  /// sort-id order (containers prepared for access while they are read).
  /// Throws StoreError for a value of a kind the store cannot write.
  std::vector<StoredValue> rowsOf(DbMetaBase& meta) const;

 private:
  friend class StoreConnection;
  std::string m_Path;
  StoredKinds m_Kinds;
};

/// One thread's connection: transactions, and the objects saved, loaded,
/// moved and listed through their metas. Not to be shared between threads.
class StoreConnection {
 public:
  StoreConnection(const StoreConnection&) = delete;
  StoreConnection& operator=(const StoreConnection&) = delete;
  /// Rolls back a transaction still open.
  ~StoreConnection();

  ///@{
  /// A write transaction: begin() takes the file's write lock at once, so
  /// two connections never deadlock upgrading a read lock. rollback() on a
  /// connection without a transaction does nothing.
  void begin();
  void commit();
  void rollback() noexcept;
  ///@}

  /// Writes every value of the object bound to `meta` under its object id
  /// (preStoreObject first), replacing what was stored for that id.
  void save(DbMetaBase& meta);
  /// Sets every value stored for `meta`'s object id through `meta`, which
  /// the caller has bound to a new object: plain values through the typed
  /// setters, containers emptied and refilled through addObject2Container,
  /// embedded objects through their own metas, values `meta` does not know
  /// as StoredUnknownValue. Then marks the object not new and hands it over
  /// (takeOverObject with the stored build stamp). False, and the object
  /// marked new, when nothing is stored for the id. Throws StoreError when
  /// the stored object is not whole or does not fit the meta.
  bool load(DbMetaBase& meta);
  /// Moves the object bound to `meta` from database `oldDatabase` to
  /// `newDatabase`: changeDatabaseIds on its values, the meta's own object
  /// id likewise, and what was stored under the old id is removed. Save it
  /// afterwards, in the same transaction.
  void move(DbMetaBase& meta, unsigned short oldDatabase, unsigned short newDatabase);
  /// Takes the unknown values load() added out of `meta` (and the metas
  /// embedded in it) and destroys them; call it before giving the meta back.
  static void finish(DbMetaBase& meta);

  /// Every object id stored, in key order.
  std::vector<DbObjectId> objects();
  /// The rows stored for `id`, in key order.
  std::vector<StoredValue> rows(const DbObjectId& id);

 private:
  friend class ObjectStore;
  explicit StoreConnection(const ObjectStore& store);

  sqlite3_stmt* prepare(const char* sql);
  void run(sqlite3_stmt* statement, const char* what);
  [[noreturn]] void fail(const char* what, int code) const;
  void bindKey(sqlite3_stmt* statement, const DbObjectId& id);
  void removeStored(const DbObjectId& id);

  const ObjectStore& m_Store;
  sqlite3* m_pDb = nullptr;
  std::vector<sqlite3_stmt*> m_Statements;
  sqlite3_stmt* m_pBegin = nullptr;
  sqlite3_stmt* m_pBeginRead = nullptr;
  sqlite3_stmt* m_pCommit = nullptr;
  sqlite3_stmt* m_pRollback = nullptr;
  sqlite3_stmt* m_pDeleteValues = nullptr;
  sqlite3_stmt* m_pDeleteObject = nullptr;
  sqlite3_stmt* m_pInsertValue = nullptr;
  sqlite3_stmt* m_pUpsertObject = nullptr;
  sqlite3_stmt* m_pSelectObject = nullptr;
  sqlite3_stmt* m_pSelectValues = nullptr;
  sqlite3_stmt* m_pSelectObjects = nullptr;
  bool m_bInTransaction = false;
};

}  // namespace tarvex_store
