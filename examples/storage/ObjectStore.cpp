#include "ObjectStore.h"

#include <sqlite3.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <utility>

#include "DMMemberBase.h"
#include "DbDataModel2DataBaseTypeMap.h"
#include "DbMetaManager.h"
#include "EPoint.h"
#include "EString.h"
#include "ETime.h"

namespace tarvex_store {

namespace {

// Marks a file as this store's ('Trvx') and the layout of its tables, so
// that a database of another program or of another layout is refused
// before anything is written to it.
constexpr int kApplicationId = 0x54727678;
constexpr int kLayoutVersion = 1;

constexpr const char* kCreateTables =
    "CREATE TABLE stored_object("
    " type INTEGER NOT NULL, db INTEGER NOT NULL, number INTEGER NOT NULL,"
    " stamp INTEGER NOT NULL, value_rows INTEGER NOT NULL,"
    " PRIMARY KEY (type, db, number)) WITHOUT ROWID;"
    "CREATE TABLE stored_value("
    " type INTEGER NOT NULL, db INTEGER NOT NULL, number INTEGER NOT NULL,"
    " scope TEXT NOT NULL, data_id INTEGER NOT NULL, element INTEGER NOT NULL,"
    " db_type INTEGER NOT NULL, datum, embedded_id INTEGER NOT NULL,"
    " PRIMARY KEY (type, db, number, scope, data_id, element)) WITHOUT ROWID;";

using Datum = StoredValue::Datum;

// --- Errors ----------------------------------------------------------------

std::string describe(sqlite3* db, int code) {
  const int primary = code & 0xFF;
  const int error = db != nullptr ? sqlite3_system_errno(db) : 0;
  if (primary == SQLITE_NOTADB) return "the file is not an SQLite database";
  if (primary == SQLITE_FULL || error == ENOSPC || error == EFBIG) {
    return "no room left to write: the disk is full or the file reached its size limit";
  }
  // A write that fails with EFBIG reaches us without its errno.
  if (code == SQLITE_IOERR_WRITE) {
    return "writing failed: no room left (a full disk, a file size limit) or a faulty device";
  }
  if (primary == SQLITE_READONLY || primary == SQLITE_PERM || error == EACCES || error == EROFS) {
    return "the file cannot be written (no write permission)";
  }
  if (primary == SQLITE_CORRUPT) return "the file is damaged";
  const char* message = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
  return message != nullptr ? message : sqlite3_errstr(code);
}

[[noreturn]] void failOn(const std::string& path, sqlite3* db, const char* what, int code) {
  throw StoreError(path + ": " + what + ": " + describe(db, code));
}

// Closes a connection that could not be set up.
struct ConnectionGuard {
  sqlite3* db;
  ~ConnectionGuard() {
    if (db != nullptr) sqlite3_close(db);
  }
};

// Another connection holds the write lock for one short transaction: wait
// in steps of 50 us rather than SQLite's own, which sleeps milliseconds
// from the third try on. Gives up after about 30 s.
int waitForLock(void* /*unused*/, int tries) {
  constexpr int kMostTries = 600000;
  if (tries >= kMostTries) return 0;
  std::this_thread::sleep_for(std::chrono::microseconds(50));
  return 1;
}

sqlite3* openConnection(const std::string& path) {
  ConnectionGuard guard{nullptr};
  const int code =
      sqlite3_open_v2(path.c_str(), &guard.db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (code != SQLITE_OK) failOn(path, guard.db, "cannot open", code);
  sqlite3_extended_result_codes(guard.db, 1);
  sqlite3_busy_handler(guard.db, waitForLock, nullptr);
  // SQLite opens a file it may not write read-only, without an error.
  if (sqlite3_db_readonly(guard.db, "main") == 1)
    failOn(path, guard.db, "cannot open", SQLITE_READONLY);
  return std::exchange(guard.db, nullptr);
}

void execute(const std::string& path, sqlite3* db, const char* sql, const char* what) {
  const int code = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  if (code != SQLITE_OK) failOn(path, db, what, code);
}

std::int64_t queryNumber(const std::string& path, sqlite3* db, const char* sql, const char* what) {
  sqlite3_stmt* statement = nullptr;
  int code = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
  if (code != SQLITE_OK) failOn(path, db, what, code);
  code = sqlite3_step(statement);
  const std::int64_t number = code == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : 0;
  sqlite3_finalize(statement);
  if (code != SQLITE_ROW && code != SQLITE_DONE) failOn(path, db, what, code);
  return number;
}

// --- Data --------------------------------------------------------------------

std::int64_t packId(const DbObjectId& id) {
  return static_cast<std::int64_t>(std::uint64_t{id.getTypeId()} << 48 |
                                   std::uint64_t{id.getDatabaseId()} << 32 | id.getObjectNumber());
}

DbObjectId unpackId(std::int64_t packed) {
  const auto bits = static_cast<std::uint64_t>(packed);
  return DbObjectId(static_cast<unsigned short>(bits >> 48),
                    static_cast<unsigned short>(bits >> 32 & 0xFFFF),
                    static_cast<std::uint32_t>(bits & 0xFFFFFFFFu));
}

std::string utf8(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (const wchar_t character : text) {
    const auto c = static_cast<std::uint32_t>(std::char_traits<wchar_t>::to_int_type(character));
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

EString wide(const std::string& text) {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    std::uint32_t c = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t j = 1; j < length && i + j < text.size(); ++j) {
      c = c << 6 | (static_cast<unsigned char>(text[i + j]) & 0x3F);
    }
    out += static_cast<wchar_t>(c);
    i += length;
  }
  return EString(out);
}

template <class... Reals>
std::string realsBlob(Reals... reals) {
  const double values[] = {reals...};
  return std::string(reinterpret_cast<const char*>(values), sizeof values);
}

double realAt(const std::string& blob, std::size_t index) {
  double value = 0;
  if (blob.size() >= (index + 1) * sizeof value) {
    std::memcpy(&value, blob.data() + index * sizeof value, sizeof value);
  }
  return value;
}

// Reals compare by their bits: -0.0 is not 0.0, a NaN equals itself.
std::uint64_t bitsOf(double real) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &real, sizeof bits);
  return bits;
}

void setInteger(StoredValue& row, std::int64_t value) {
  row.datum = Datum::kInteger;
  row.integer = value;
}
void setReal(StoredValue& row, double value) {
  row.datum = Datum::kReal;
  row.real = value;
}
void setBytes(StoredValue& row, Datum datum, std::string bytes) {
  row.datum = datum;
  row.bytes = std::move(bytes);
}

bool isReference(unsigned char type) {
  return type == DbDatabaseType::kReference15 || type == DbDatabaseType::kReference16 ||
         type == DbDatabaseType::kReference18;
}

// The datum of a plain value (or container element) by its database type;
// false for a kind the store does not know.
bool encode(const StoredKinds& kinds, const DbData& value, StoredValue& row) {
  const unsigned char type = row.databaseType;
  switch (type) {
    case DbDatabaseType::kBoolean:
      setInteger(row, value.getBool() ? 1 : 0);
      return true;
    case DbDatabaseType::kCharacter:
      setInteger(row, value.getChar());
      return true;
    case DbDatabaseType::kShort:
      setInteger(row, value.getShort());
      return true;
    case DbDatabaseType::kLong:
      setInteger(row, value.getLong());
      return true;
    case DbDatabaseType::kFloat:
      setReal(row, value.getFloat());
      return true;
    case DbDatabaseType::kDouble:
      setReal(row, value.getDouble());
      return true;
    case DbDatabaseType::kPoint:
      setBytes(row, Datum::kBlob, realsBlob(value.getPoint().x(), value.getPoint().y()));
      return true;
    case DbDatabaseType::kPoint3D: {
      const EPoint3D& point = value.getPoint3D();
      setBytes(row, Datum::kBlob, realsBlob(point.x(), point.y(), point.z()));
      return true;
    }
    case DbDatabaseType::kObjectId:
      setInteger(row, packId(value.getDbObjectId()));
      return true;
    default:
      break;
  }
  if (isReference(type)) {
    setInteger(row, packId(value.getReference()));
    row.embeddedId = value.getEmbeddedId();
    return true;
  }
  if (kinds.stringType != 0 && type == kinds.stringType) {
    setBytes(row, Datum::kText, utf8(value.getString()));
    return true;
  }
  if (kinds.timeType != 0 && type == kinds.timeType) {
    setInteger(row, value.getTime().seconds());
    return true;
  }
  return false;
}

// Writes a plain datum through `meta`'s typed setter of its kind.
bool decode(const StoredKinds& kinds, DbMetaBase& meta, const StoredValue& row) {
  const unsigned short id = row.dataId;
  const unsigned char type = row.databaseType;
  switch (type) {
    case DbDatabaseType::kBoolean:
      return meta.setDataBool(id, row.integer != 0);
    case DbDatabaseType::kCharacter:
      return meta.setDataChar(id, static_cast<char>(row.integer));
    case DbDatabaseType::kShort:
      return meta.setDataShort(id, static_cast<short>(row.integer));
    case DbDatabaseType::kLong:
      return meta.setDataLong(id, static_cast<std::int32_t>(row.integer));
    case DbDatabaseType::kFloat:
      return meta.setDataFloat(id, static_cast<float>(row.real));
    case DbDatabaseType::kDouble:
      return meta.setDataDouble(id, row.real);
    case DbDatabaseType::kPoint:
      return meta.setDataPoint(id, EPoint(realAt(row.bytes, 0), realAt(row.bytes, 1)));
    case DbDatabaseType::kPoint3D:
      return meta.setDataPoint3D(
          id, EPoint3D(realAt(row.bytes, 0), realAt(row.bytes, 1), realAt(row.bytes, 2)));
    case DbDatabaseType::kObjectId:
      return meta.setDbObjectId(id, unpackId(row.integer));
    default:
      break;
  }
  if (isReference(type)) {
    return meta.setDataEmbeddedReference(
        id, DbEmbeddedObjId(unpackId(row.integer), static_cast<std::int32_t>(row.embeddedId)));
  }
  if (kinds.stringType != 0 && type == kinds.stringType) {
    return meta.setDataString(id, wide(row.bytes));
  }
  if (kinds.timeType != 0 && type == kinds.timeType) {
    return meta.setDataTime(id, ebas::ETime(row.integer));
  }
  return false;
}

// --- Unknown data: the rows of one data id as bytes -----------------------------

template <class T>
void put(std::string& out, T number) {
  out.append(reinterpret_cast<const char*>(&number), sizeof number);
}
template <class T>
bool take(const unsigned char*& at, const unsigned char* end, T& number) {
  if (static_cast<std::size_t>(end - at) < sizeof number) return false;
  std::memcpy(&number, at, sizeof number);
  at += sizeof number;
  return true;
}

std::string unknownBytes(const std::vector<StoredValue>& rows) {
  std::string out;
  for (const StoredValue& row : rows) {
    put(out, row.element);
    put(out, row.databaseType);
    put(out, static_cast<unsigned char>(row.datum));
    put(out, row.integer);
    put(out, row.real);
    put(out, static_cast<std::uint32_t>(row.bytes.size()));
    out += row.bytes;
    put(out, row.embeddedId);
  }
  return out;
}

// The rows kept as unknown data by `value`; false when its bytes are not of
// this store's making.
bool unknownRows(DbData& value, const std::string& scope, std::vector<StoredValue>& out) {
  unsigned char* data = nullptr;
  std::uint32_t size = 0;
  if (!value.getUnknownData(&data, &size) || (data == nullptr && size != 0)) return false;
  const unsigned char* at = data;
  const unsigned char* end = data + size;
  while (at != end) {
    StoredValue row;
    row.scope = scope;
    row.dataId = value.getDataId();
    unsigned char datum = 0;
    std::uint32_t length = 0;
    if (!take(at, end, row.element) || !take(at, end, row.databaseType) || !take(at, end, datum) ||
        !take(at, end, row.integer) || !take(at, end, row.real) || !take(at, end, length) ||
        static_cast<std::size_t>(end - at) < length ||
        datum > static_cast<unsigned char>(Datum::kBlob)) {
      return false;
    }
    row.datum = static_cast<Datum>(datum);
    row.bytes.assign(reinterpret_cast<const char*>(at), length);
    at += length;
    if (!take(at, end, row.embeddedId)) return false;
    out.push_back(std::move(row));
  }
  return true;
}

// --- Walks over a meta and the metas embedded in it ------------------------------

std::string scopeOf(const std::string& scope, unsigned short dataId) {
  return scope + std::to_string(dataId) + "/";
}

// Walks the values in sort-id order, the order the application stores them
// in; the rows are keyed by data id, so the tables do not depend on it.
void collect(const StoredKinds& kinds, DbMetaBase& meta, const std::string& scope,
             std::vector<StoredValue>& out) {
  for (DbData* value : meta.getDataList(true)) {
    if (value == nullptr) continue;
    StoredValue row;
    row.scope = scope;
    row.dataId = value->getDataId();
    if (value->hasUnknownData()) {
      if (!unknownRows(*value, scope, out)) {
        throw StoreError("the unknown data of data id " + std::to_string(row.dataId) +
                         " is in no form this store writes");
      }
      continue;
    }
    // The library's walks skip an invalid value with all it holds; so does the store.
    if (!value->valid()) continue;
    row.databaseType = value->getDatabaseType();
    if (row.databaseType == DbDatabaseType::kContainer) {
      const std::size_t at = out.size();
      out.push_back(row);
      std::int32_t count = 0;
      DbData* element = nullptr;
      for (bool more = value->getFirstElement(&element); more;
           more = value->getNextElement(&element)) {
        StoredValue item;
        item.scope = scope;
        item.dataId = row.dataId;
        item.element = count++;
        item.databaseType = element->getDatabaseType();
        if (!encode(kinds, *element, item)) {
          throw StoreError("element of data id " + std::to_string(row.dataId) +
                           " has database type " + std::to_string(item.databaseType) +
                           ", which the store cannot write");
        }
        out.push_back(std::move(item));
      }
      setInteger(out[at], count);
    } else if (row.databaseType == DbDatabaseType::kEmbeddedObject) {
      DbMetaBase* embedded = value->getMetaForEmbeddedObject();
      if (embedded == nullptr) continue;  // no embedded object to keep
      setInteger(row, packId(embedded->getObjectId()));
      out.push_back(row);
      collect(kinds, *embedded, scopeOf(scope, row.dataId), out);
      embedded->clear();
    } else {
      if (!encode(kinds, *value, row)) {
        throw StoreError("data id " + std::to_string(row.dataId) + " has database type " +
                         std::to_string(row.databaseType) + ", which the store cannot write");
      }
      out.push_back(std::move(row));
    }
  }
}

// A recycled meta still holds the elements its last object had.
void emptyContainers(DbMetaBase& meta) {
  for (DbData* value : meta.getDataList(false)) {
    if (value == nullptr || !value->valid()) continue;
    const unsigned char type = value->getDatabaseType();
    if (type == DbDatabaseType::kContainer) {
      while (meta.getContainerSize(value->getDataId()) > 0) {
        if (!meta.removeObjectFromContainer(value->getDataId(), 0)) break;
      }
    } else if (type == DbDatabaseType::kEmbeddedObject) {
      if (DbMetaBase* embedded = value->getMetaForEmbeddedObject()) {
        emptyContainers(*embedded);
        embedded->clear();
      }
    }
  }
}

// The meta that holds the values of `scope` ("" or "60402/60510/").
DbMetaBase* metaOfScope(DbMetaBase& meta, const std::string& scope) {
  DbMetaBase* at = &meta;
  std::size_t begin = 0;
  while (at != nullptr && begin < scope.size()) {
    const std::size_t slash = scope.find('/', begin);
    if (slash == std::string::npos) return nullptr;
    const auto dataId = static_cast<unsigned short>(std::stoul(scope.substr(begin, slash - begin)));
    at = at->getMetaForEmbeddedObject(dataId);
    begin = slash + 1;
  }
  return at;
}

// Adds a reference to `row`'s object to the container `row` belongs to:
// the library adds only the object of a bound meta, so one of the
// referenced type is borrowed and bound for the moment.
void addElement(DbMetaBase& owner, const StoredValue& row) {
  const DbObjectId id = unpackId(row.integer);
  DbMetaBase* referenced = DbMetaManager::getInstance()->getMeta(id.getTypeId());
  if (referenced == nullptr) {
    throw StoreError("element " + std::to_string(row.element) + " of data id " +
                     std::to_string(row.dataId) + " refers to type " +
                     std::to_string(id.getTypeId()) + ", for which no meta is registered");
  }
  DMMemberBase object(id);
  const bool added =
      referenced->setObject(&object, 0) && owner.addObject2Container(row.dataId, *referenced, -1);
  referenced->clear();
  DbData* container = owner.getData(row.dataId);
  DbData* element = nullptr;
  DbData* last = nullptr;
  if (added && container != nullptr) {
    for (bool more = container->getFirstElement(&element); more;
         more = container->getNextElement(&element)) {
      last = element;
    }
  }
  if (last == nullptr || last->getReference() != id) {
    throw StoreError("element " + std::to_string(row.element) + " of data id " +
                     std::to_string(row.dataId) + " could not be added to its container");
  }
  last->setEmbeddedId(static_cast<std::int32_t>(row.embeddedId));
}

// Sets the rows of one data id (a value, or a container with its elements).
void apply(const StoredKinds& kinds, DbMetaBase& meta, const StoredValue* first,
           const StoredValue* end) {
  DbMetaBase* target = metaOfScope(meta, first->scope);
  if (target == nullptr) {
    throw StoreError("stored values under \"" + first->scope + "\" have no embedded object");
  }
  DbData* value = target->getData(first->dataId);
  const std::string name = "data id " + std::to_string(first->dataId);
  if (value == nullptr || value->hasUnknownData()) {
    const std::string bytes = unknownBytes(std::vector<StoredValue>(first, end));
    std::unique_ptr<DbData> unknown;
    if (value == nullptr) {
      unknown = std::make_unique<StoredUnknownValue>(first->dataId);
      value = unknown.get();
    }
    value->setUnknownData(reinterpret_cast<const unsigned char*>(bytes.data()),
                          static_cast<std::uint32_t>(bytes.size()), first->databaseType);
    if (unknown != nullptr) target->addData(unknown.release());
    return;
  }
  if (value->getDatabaseType() != first->databaseType || first->element != -1) {
    throw StoreError(name + " is stored with database type " + std::to_string(first->databaseType) +
                     ", the meta's value has " + std::to_string(value->getDatabaseType()));
  }
  if (first->databaseType == DbDatabaseType::kContainer) {
    if (end - first - 1 != first->integer) {
      throw StoreError(name + ": " + std::to_string(end - first - 1) + " elements stored of " +
                       std::to_string(first->integer));
    }
    for (const StoredValue* element = first + 1; element != end; ++element) {
      if (!isReference(element->databaseType)) {
        throw StoreError(name + ": an element of database type " +
                         std::to_string(element->databaseType) + " cannot be added");
      }
      addElement(*target, *element);
    }
  } else if (first->databaseType == DbDatabaseType::kEmbeddedObject) {
    if (DbMetaBase* embedded = value->getMetaForEmbeddedObject()) {
      embedded->setObjectId(unpackId(first->integer));
    }
  } else if (!decode(kinds, *target, *first)) {
    throw StoreError(name + " has database type " + std::to_string(first->databaseType) +
                     ", which the store cannot read");
  }
}

void clearEmbedded(DbMetaBase& meta) {
  for (DbData* value : meta.getDataList(false)) {
    if (value == nullptr || !value->valid() ||
        value->getDatabaseType() != DbDatabaseType::kEmbeddedObject) {
      continue;
    }
    if (DbMetaBase* embedded = value->getMetaForEmbeddedObject()) {
      clearEmbedded(*embedded);
      embedded->clear();
    }
  }
}

// Resets a statement after its use, also when the use throws.
struct Reset {
  sqlite3_stmt* statement;
  ~Reset() {
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
  }
};

}  // namespace

// --- StoredValue, StoredUnknownValue ---------------------------------------------

bool StoredValue::operator==(const StoredValue& other) const {
  return scope == other.scope && dataId == other.dataId && element == other.element &&
         databaseType == other.databaseType && datum == other.datum && integer == other.integer &&
         bitsOf(real) == bitsOf(other.real) && bytes == other.bytes &&
         embeddedId == other.embeddedId;
}

StoredUnknownValue::StoredUnknownValue(unsigned short dataId) : DbData(dataId) {
  m_UnknownDataType = DbUnknownDataNsp::eUnknownData;
}

bool StoredUnknownValue::getUnknownData(unsigned char** data, std::uint32_t* size) {
  *data = m_Bytes.data();
  *size = static_cast<std::uint32_t>(m_Bytes.size());
  return true;
}

void StoredUnknownValue::setUnknownData(const unsigned char* data, std::uint32_t size,
                                        unsigned char /*code*/) {
  m_Bytes.assign(data, data + size);
}

// --- ObjectStore -------------------------------------------------------------------

ObjectStore::ObjectStore(std::string path, StoredKinds kinds)
    : m_Path(std::move(path)), m_Kinds(kinds) {
  ConnectionGuard guard{openConnection(m_Path)};
  sqlite3* db = guard.db;
  // The first read of the file: a file that is no database fails here.
  const std::int64_t application = queryNumber(m_Path, db, "PRAGMA application_id", "cannot read");
  const std::int64_t layout = queryNumber(m_Path, db, "PRAGMA user_version", "cannot read");
  const std::int64_t tables =
      queryNumber(m_Path, db, "SELECT count(*) FROM sqlite_master", "cannot read");
  if (application == 0 && layout == 0 && tables == 0) {
    execute(m_Path, db, "BEGIN IMMEDIATE", "cannot create the tables");
    try {
      execute(m_Path, db, kCreateTables, "cannot create the tables");
      const std::string mark = "PRAGMA application_id = " + std::to_string(kApplicationId) +
                               "; PRAGMA user_version = " + std::to_string(kLayoutVersion);
      execute(m_Path, db, mark.c_str(), "cannot create the tables");
      execute(m_Path, db, "COMMIT", "cannot create the tables");
    } catch (...) {
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  } else if (application != kApplicationId || layout != kLayoutVersion) {
    throw StoreError(m_Path + ": the database has another layout (application id " +
                     std::to_string(application) + ", layout " + std::to_string(layout) +
                     "; this store writes " + std::to_string(kApplicationId) + ", layout " +
                     std::to_string(kLayoutVersion) + ")");
  }
  // WAL is a property of the file; later connections find it set.
  if (queryNumber(m_Path, db, "PRAGMA journal_mode = WAL", "cannot switch to WAL") < 0) {
    throw StoreError(m_Path + ": cannot switch to WAL");
  }
}

std::unique_ptr<StoreConnection> ObjectStore::connect() const {
  return std::unique_ptr<StoreConnection>(new StoreConnection(*this));
}

std::uint64_t ObjectStore::fileSize() const {
  ConnectionGuard guard{openConnection(m_Path)};
  execute(m_Path, guard.db, "PRAGMA wal_checkpoint(TRUNCATE)", "cannot fold the log in");
  const std::int64_t pages = queryNumber(m_Path, guard.db, "PRAGMA page_count", "cannot read");
  const std::int64_t size = queryNumber(m_Path, guard.db, "PRAGMA page_size", "cannot read");
  return static_cast<std::uint64_t>(pages * size);
}

std::vector<StoredValue> ObjectStore::rowsOf(DbMetaBase& meta) const {
  std::vector<StoredValue> rows;
  rows.reserve(meta.getDataList(false).size());
  meta.prepareContainerAccess();
  try {
    collect(m_Kinds, meta, "", rows);
  } catch (...) {
    meta.unprepareContainerAccess();
    throw;
  }
  meta.unprepareContainerAccess();
  return rows;
}

// --- StoreConnection ---------------------------------------------------------------

StoreConnection::StoreConnection(const ObjectStore& store) : m_Store(store) {
  m_pDb = openConnection(store.m_Path);
  try {
    // A commit reaches the log before COMMIT returns: a killed process
    // loses nothing committed (only a power cut could lose the last ones).
    execute(store.m_Path, m_pDb, "PRAGMA synchronous = NORMAL", "cannot set up");
    m_pBegin = prepare("BEGIN IMMEDIATE");
    m_pBeginRead = prepare("BEGIN");
    m_pCommit = prepare("COMMIT");
    m_pRollback = prepare("ROLLBACK");
    m_pDeleteValues =
        prepare("DELETE FROM stored_value WHERE type = ?1 AND db = ?2 AND number = ?3");
    m_pDeleteObject =
        prepare("DELETE FROM stored_object WHERE type = ?1 AND db = ?2 AND number = ?3");
    m_pInsertValue = prepare(
        "INSERT INTO stored_value (type, db, number, scope, data_id, element, db_type, datum,"
        " embedded_id) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
    m_pUpsertObject = prepare(
        "INSERT OR REPLACE INTO stored_object (type, db, number, stamp, value_rows)"
        " VALUES (?1, ?2, ?3, ?4, ?5)");
    m_pSelectObject = prepare(
        "SELECT stamp, value_rows FROM stored_object WHERE type = ?1 AND db = ?2 AND number = ?3");
    m_pSelectValues = prepare(
        "SELECT scope, data_id, element, db_type, datum, embedded_id FROM stored_value"
        " WHERE type = ?1 AND db = ?2 AND number = ?3 ORDER BY scope, data_id, element");
    m_pSelectObjects = prepare("SELECT type, db, number FROM stored_object ORDER BY 1, 2, 3");
  } catch (...) {
    for (sqlite3_stmt* statement : m_Statements) sqlite3_finalize(statement);
    sqlite3_close(m_pDb);
    throw;
  }
}

StoreConnection::~StoreConnection() {
  rollback();
  for (sqlite3_stmt* statement : m_Statements) sqlite3_finalize(statement);
  sqlite3_close(m_pDb);
}

sqlite3_stmt* StoreConnection::prepare(const char* sql) {
  sqlite3_stmt* statement = nullptr;
  const int code =
      sqlite3_prepare_v3(m_pDb, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
  if (code != SQLITE_OK) fail("cannot prepare its statements", code);
  m_Statements.push_back(statement);
  return statement;
}

void StoreConnection::fail(const char* what, int code) const {
  failOn(m_Store.m_Path, m_pDb, what, code);
}

void StoreConnection::run(sqlite3_stmt* statement, const char* what) {
  Reset reset{statement};
  const int code = sqlite3_step(statement);
  if (code != SQLITE_DONE && code != SQLITE_ROW) fail(what, code);
}

void StoreConnection::bindKey(sqlite3_stmt* statement, const DbObjectId& id) {
  sqlite3_bind_int(statement, 1, id.getTypeId());
  sqlite3_bind_int(statement, 2, id.getDatabaseId());
  sqlite3_bind_int64(statement, 3, id.getObjectNumber());
}

void StoreConnection::begin() {
  run(m_pBegin, "cannot begin a transaction");
  m_bInTransaction = true;
}

void StoreConnection::commit() {
  run(m_pCommit, "cannot commit");
  m_bInTransaction = false;
}

void StoreConnection::rollback() noexcept {
  if (!m_bInTransaction) return;
  m_bInTransaction = false;
  sqlite3_step(m_pRollback);
  sqlite3_reset(m_pRollback);
}

void StoreConnection::removeStored(const DbObjectId& id) {
  bindKey(m_pDeleteValues, id);
  run(m_pDeleteValues, "cannot remove an object's values");
  bindKey(m_pDeleteObject, id);
  run(m_pDeleteObject, "cannot remove an object");
}

void StoreConnection::save(DbMetaBase& meta) {
  meta.preStoreObject();
  const std::vector<StoredValue> rows = m_Store.rowsOf(meta);
  const DbObjectId id = meta.getObjectId();
  const bool own = !m_bInTransaction;
  if (own) begin();
  try {
    bindKey(m_pDeleteValues, id);
    run(m_pDeleteValues, "cannot replace an object's values");
    for (const StoredValue& row : rows) {
      sqlite3_stmt* insert = m_pInsertValue;
      bindKey(insert, id);
      sqlite3_bind_text(insert, 4, row.scope.data(), static_cast<int>(row.scope.size()),
                        SQLITE_STATIC);
      sqlite3_bind_int(insert, 5, row.dataId);
      sqlite3_bind_int(insert, 6, row.element);
      sqlite3_bind_int(insert, 7, row.databaseType);
      switch (row.datum) {
        case Datum::kInteger:
          sqlite3_bind_int64(insert, 8, row.integer);
          break;
        case Datum::kReal:
          sqlite3_bind_double(insert, 8, row.real);
          break;
        case Datum::kText:
          sqlite3_bind_text(insert, 8, row.bytes.data(), static_cast<int>(row.bytes.size()),
                            SQLITE_STATIC);
          break;
        case Datum::kBlob:
          sqlite3_bind_blob(insert, 8, row.bytes.data(), static_cast<int>(row.bytes.size()),
                            SQLITE_STATIC);
          break;
        case Datum::kNone:
          sqlite3_bind_null(insert, 8);
          break;
      }
      sqlite3_bind_int64(insert, 9, row.embeddedId);
      run(insert, "cannot write a value");
    }
    bindKey(m_pUpsertObject, id);
    sqlite3_bind_int(m_pUpsertObject, 4, meta.getBuildStamp());
    sqlite3_bind_int64(m_pUpsertObject, 5, static_cast<std::int64_t>(rows.size()));
    run(m_pUpsertObject, "cannot write an object");
    if (own) commit();
  } catch (...) {
    if (own) rollback();
    throw;
  }
}

std::vector<StoredValue> StoreConnection::rows(const DbObjectId& id) {
  std::vector<StoredValue> rows;
  Reset reset{m_pSelectValues};
  bindKey(m_pSelectValues, id);
  int code = SQLITE_ROW;
  while ((code = sqlite3_step(m_pSelectValues)) == SQLITE_ROW) {
    StoredValue row;
    const auto* scope = sqlite3_column_text(m_pSelectValues, 0);
    row.scope.assign(reinterpret_cast<const char*>(scope),
                     static_cast<std::size_t>(sqlite3_column_bytes(m_pSelectValues, 0)));
    row.dataId = static_cast<unsigned short>(sqlite3_column_int(m_pSelectValues, 1));
    row.element = sqlite3_column_int(m_pSelectValues, 2);
    row.databaseType = static_cast<unsigned char>(sqlite3_column_int(m_pSelectValues, 3));
    switch (sqlite3_column_type(m_pSelectValues, 4)) {
      case SQLITE_INTEGER:
        setInteger(row, sqlite3_column_int64(m_pSelectValues, 4));
        break;
      case SQLITE_FLOAT:
        setReal(row, sqlite3_column_double(m_pSelectValues, 4));
        break;
      case SQLITE_TEXT: {
        const auto* text = sqlite3_column_text(m_pSelectValues, 4);
        setBytes(row, Datum::kText,
                 std::string(reinterpret_cast<const char*>(text),
                             static_cast<std::size_t>(sqlite3_column_bytes(m_pSelectValues, 4))));
        break;
      }
      case SQLITE_BLOB: {
        const void* blob = sqlite3_column_blob(m_pSelectValues, 4);
        const auto size = static_cast<std::size_t>(sqlite3_column_bytes(m_pSelectValues, 4));
        setBytes(row, Datum::kBlob,
                 size == 0 ? std::string() : std::string(static_cast<const char*>(blob), size));
        break;
      }
      default:
        break;
    }
    row.embeddedId = sqlite3_column_int64(m_pSelectValues, 5);
    rows.push_back(std::move(row));
  }
  if (code != SQLITE_DONE) fail("cannot read an object's values", code);
  return rows;
}

bool StoreConnection::load(DbMetaBase& meta) {
  const DbObjectId id = meta.getObjectId();
  std::int64_t stamp = 0;
  std::int64_t count = 0;
  std::vector<StoredValue> stored;
  const bool own = !m_bInTransaction;
  // One snapshot for the object and its values, even while others write;
  // a read transaction leaves the write lock to the writers.
  if (own) {
    run(m_pBeginRead, "cannot begin a transaction");
    m_bInTransaction = true;
  }
  try {
    {
      Reset reset{m_pSelectObject};
      bindKey(m_pSelectObject, id);
      const int code = sqlite3_step(m_pSelectObject);
      if (code != SQLITE_ROW && code != SQLITE_DONE) fail("cannot read an object", code);
      if (code == SQLITE_DONE) {
        if (own) commit();
        meta.setNewObject(true);
        return false;
      }
      stamp = sqlite3_column_int64(m_pSelectObject, 0);
      count = sqlite3_column_int64(m_pSelectObject, 1);
    }
    stored = rows(id);
    if (own) commit();
  } catch (...) {
    if (own) rollback();
    throw;
  }
  const std::string name = m_Store.m_Path + ": object " + std::to_string(id.getTypeId()) + "/" +
                           std::to_string(id.getDatabaseId()) + "/" +
                           std::to_string(id.getObjectNumber());
  if (static_cast<std::int64_t>(stored.size()) != count) {
    throw StoreError(name + " is not whole: " + std::to_string(stored.size()) + " of " +
                     std::to_string(count) + " values stored");
  }
  try {
    emptyContainers(meta);
    for (std::size_t begin = 0; begin < stored.size();) {
      std::size_t end = begin + 1;
      while (end < stored.size() && stored[end].scope == stored[begin].scope &&
             stored[end].dataId == stored[begin].dataId) {
        ++end;
      }
      apply(m_Store.m_Kinds, meta, stored.data() + begin, stored.data() + end);
      begin = end;
    }
  } catch (const StoreError& error) {
    clearEmbedded(meta);
    throw StoreError(name + ": " + error.what());
  }
  clearEmbedded(meta);
  meta.setNewObject(false);
  meta.setBuildStamp(static_cast<int>(stamp));
  meta.takeOverObject(static_cast<int>(stamp));
  return true;
}

void StoreConnection::move(DbMetaBase& meta, unsigned short oldDatabase,
                           unsigned short newDatabase) {
  const DbObjectId oldId = meta.getObjectId();
  meta.changeDatabaseIds(oldDatabase, newDatabase);
  // changeDatabaseIds rewrites the values only; the meta's own id follows here.
  if (oldId.getDatabaseId() != oldDatabase) return;
  DbObjectId newId = oldId;
  newId.setDatabaseId(newDatabase);
  meta.setObjectId(newId);
  const bool own = !m_bInTransaction;
  if (own) begin();
  try {
    removeStored(oldId);
    if (own) commit();
  } catch (...) {
    if (own) rollback();
    throw;
  }
}

void StoreConnection::finish(DbMetaBase& meta) {
  std::vector<DbData*> unknown;
  for (DbData* value : meta.getDataList(false)) {
    if (value == nullptr) continue;
    if (value->getUnknownDataType() == DbUnknownDataNsp::eUnknownData) {
      unknown.push_back(value);
    } else if (value->valid() && value->getDatabaseType() == DbDatabaseType::kEmbeddedObject) {
      if (DbMetaBase* embedded = value->getMetaForEmbeddedObject()) {
        finish(*embedded);
        embedded->clear();
      }
    }
  }
  if (unknown.empty()) return;
  // The meta lets go of them without destroying them: they are the store's.
  meta.removeUnknownDataFromDataLists();
  for (DbData* value : unknown) value->purge();
}

std::vector<DbObjectId> StoreConnection::objects() {
  std::vector<DbObjectId> ids;
  Reset reset{m_pSelectObjects};
  int code = SQLITE_ROW;
  while ((code = sqlite3_step(m_pSelectObjects)) == SQLITE_ROW) {
    ids.emplace_back(static_cast<unsigned short>(sqlite3_column_int(m_pSelectObjects, 0)),
                     static_cast<unsigned short>(sqlite3_column_int(m_pSelectObjects, 1)),
                     static_cast<std::uint32_t>(sqlite3_column_int64(m_pSelectObjects, 2)));
  }
  if (code != SQLITE_DONE) fail("cannot list the objects", code);
  return ids;
}

}  // namespace tarvex_store
