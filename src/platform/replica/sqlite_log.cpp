#include "platform/replica/sqlite_log.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace mail::persist::detail {
namespace {

// Marks our files in the SQLite header, so a foreign database is never taken for a document.
constexpr int kApplicationId = 0x56524450;  // "VRDP"
constexpr int kFormat = 1;

std::string quoted(const std::filesystem::path& file) { return file.string(); }

struct Statement {
    sqlite3_stmt* stmt = nullptr;
    ~Statement() { sqlite3_finalize(stmt); }
};

bool is_busy(int code) { return (code & 0xff) == SQLITE_BUSY || (code & 0xff) == SQLITE_LOCKED; }

}  // namespace

SqliteLog::SqliteLog(sqlite3* db, std::filesystem::path file) : db_(db), file_(std::move(file)) {}

SqliteLog::~SqliteLog() {
    if (open_transaction_) roll_back();
    sqlite3_finalize(insert_change_);
    sqlite3_finalize(insert_replica_);
    sqlite3_close_v2(db_);
}

Error SqliteLog::failure(std::string_view what) const {
    return make_error("couldn\u2019t save the replica document " + quoted(file_) + ": " + std::string(what) +
                      " (" + sqlite3_errmsg(db_) + ")");
}

Error SqliteLog::damage(std::string_view what) const {
    return make_error("the replica document " + quoted(file_) + " is damaged: " + std::string(what));
}

Result<std::unique_ptr<SqliteLog>> SqliteLog::open(const std::filesystem::path& file) {
    std::error_code ec;
    if (file.has_parent_path() && !std::filesystem::exists(file.parent_path(), ec)) {
        std::filesystem::create_directories(file.parent_path(), ec);
        if (ec)
            return make_error("couldn\u2019t open the replica document " + quoted(file) + ": " + ec.message());
        std::filesystem::permissions(file.parent_path(), std::filesystem::perms::owner_all, ec);
    }
    // Made here rather than by SQLite so that mail state is never readable by others; SQLite
    // gives its WAL file the same mode.
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return make_error("couldn\u2019t open the replica document " + quoted(file) + ": " + std::strerror(errno));
    struct stat info {};
    bool empty = ::fstat(fd, &info) == 0 && info.st_size == 0;
    ::close(fd);

    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        std::string why = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close_v2(db);
        return make_error("couldn\u2019t open the replica document " + quoted(file) + ": " + why);
    }
    std::unique_ptr<SqliteLog> log(new SqliteLog(db, file));
    sqlite3_extended_result_codes(db, 1);

    auto exec = [&](const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); };
    auto busy = [&] { return make_error("the replica document " + quoted(file) + " is in use by another process"); };
    auto int_pragma = [&](const char* sql, int& out) -> int {
        Statement s;
        int code = sqlite3_prepare_v2(db, sql, -1, &s.stmt, nullptr);
        if (code != SQLITE_OK) return code;
        code = sqlite3_step(s.stmt);
        if (code != SQLITE_ROW) return code;
        out = sqlite3_column_int(s.stmt, 0);
        return SQLITE_OK;
    };

    // One process at a time: a second writer with the same replica id would break the stamps.
    if (exec("PRAGMA locking_mode=EXCLUSIVE") != SQLITE_OK) return log->damage(sqlite3_errmsg(db));
    int application_id = 0;
    rc = int_pragma("PRAGMA application_id", application_id);
    if (is_busy(rc)) return busy();
    if (rc != SQLITE_OK) return log->damage(sqlite3_errmsg(db));
    int format = 0;
    if (int_pragma("PRAGMA user_version", format) != SQLITE_OK) return log->damage(sqlite3_errmsg(db));
    int tables = 0;
    if (int_pragma("SELECT count(*) FROM sqlite_master", tables) != SQLITE_OK)
        return log->damage(sqlite3_errmsg(db));

    // An empty file, or one left by a crash before its first commit, is new.
    bool fresh = empty || (application_id == 0 && tables == 0);
    if (!fresh && application_id != kApplicationId)
        return make_error("the file " + quoted(file) + " is not a replica document");
    if (!fresh && format > kFormat)
        return make_error("the replica document " + quoted(file) + " was written by a newer version (format " +
                          std::to_string(format) + ")");

    {
        Statement mode;
        if (sqlite3_prepare_v2(db, "PRAGMA journal_mode=WAL", -1, &mode.stmt, nullptr) != SQLITE_OK ||
            sqlite3_step(mode.stmt) != SQLITE_ROW)
            return is_busy(sqlite3_extended_errcode(db)) ? busy() : log->damage(sqlite3_errmsg(db));
        if (std::string_view(reinterpret_cast<const char*>(sqlite3_column_text(mode.stmt, 0))) != "wal")
            return make_error("couldn\u2019t open the replica document " + quoted(file) + ": WAL mode refused");
    }
    // FULL syncs the WAL at every commit: an acknowledged change survives power loss too, at
    // one fsync per user action (seeding batches many writes into one commit).
    if (exec("PRAGMA synchronous=FULL") != SQLITE_OK) return log->damage(sqlite3_errmsg(db));
    rc = exec("BEGIN EXCLUSIVE");
    if (is_busy(rc)) return busy();
    if (rc != SQLITE_OK) return log->damage(sqlite3_errmsg(db));

    if (fresh) {
        log->local_ = Uuid::random_v4();
        const char* schema =
            "CREATE TABLE meta(key TEXT PRIMARY KEY NOT NULL, value NOT NULL);"
            "CREATE TABLE replicas(row INTEGER PRIMARY KEY, id BLOB NOT NULL UNIQUE);"
            "CREATE TABLE changes(seq INTEGER PRIMARY KEY, op INTEGER NOT NULL, counter INTEGER NOT NULL,"
            " replica INTEGER NOT NULL, target_counter INTEGER NOT NULL, target_replica INTEGER NOT NULL,"
            " key TEXT, type INTEGER NOT NULL, value, ref_counter INTEGER, ref_replica INTEGER);";
        if (exec(schema) != SQLITE_OK) {
            Error error = log->failure("creating the tables");
            exec("ROLLBACK");
            return error;
        }
        Statement s;
        sqlite3_prepare_v2(db, "INSERT INTO replicas(row, id) VALUES (1, ?)", -1, &s.stmt, nullptr);
        sqlite3_bind_blob(s.stmt, 1, log->local_.bytes.data(), 16, SQLITE_STATIC);
        bool ok = sqlite3_step(s.stmt) == SQLITE_DONE &&
                  exec("INSERT INTO meta(key, value) VALUES ('local_replica', 1)") == SQLITE_OK &&
                  exec(("PRAGMA application_id=" + std::to_string(kApplicationId)).c_str()) == SQLITE_OK &&
                  exec(("PRAGMA user_version=" + std::to_string(kFormat)).c_str()) == SQLITE_OK;
        if (!ok) {
            Error error = log->failure("creating the tables");
            exec("ROLLBACK");
            return error;
        }
    } else {
        Statement s;
        if (sqlite3_prepare_v2(db,
                               "SELECT r.id FROM meta m JOIN replicas r ON r.row = m.value"
                               " WHERE m.key = 'local_replica'",
                               -1, &s.stmt, nullptr) != SQLITE_OK) {
            Error error = log->damage(sqlite3_errmsg(db));
            exec("ROLLBACK");
            return error;
        }
        rc = sqlite3_step(s.stmt);
        if (rc != SQLITE_ROW || sqlite3_column_type(s.stmt, 0) != SQLITE_BLOB ||
            sqlite3_column_bytes(s.stmt, 0) != 16) {
            Error error = log->damage(rc == SQLITE_ROW || rc == SQLITE_DONE ? "its replica id is missing"
                                                                            : sqlite3_errmsg(db));
            exec("ROLLBACK");
            return error;
        }
        std::memcpy(log->local_.bytes.data(), sqlite3_column_blob(s.stmt, 0), 16);
        sqlite3_reset(s.stmt);
    }
    if (exec("COMMIT") != SQLITE_OK) {
        Error error = log->failure("opening");
        exec("ROLLBACK");
        return error;
    }
    MAIL_TRY(log->prepare());
    return log;
}

Status SqliteLog::prepare() {
    const char* change =
        "INSERT INTO changes(op, counter, replica, target_counter, target_replica, key, type, value,"
        " ref_counter, ref_replica) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
    if (sqlite3_prepare_v2(db_, change, -1, &insert_change_, nullptr) != SQLITE_OK)
        return damage(sqlite3_errmsg(db_));
    if (sqlite3_prepare_v2(db_, "INSERT INTO replicas(id) VALUES (?)", -1, &insert_replica_, nullptr) != SQLITE_OK)
        return damage(sqlite3_errmsg(db_));
    return {};
}

Status SqliteLog::read(const std::function<Status(std::int64_t row, const Uuid& id)>& on_replica,
                       const std::function<Status(const StoredRecord&)>& on_record) {
    {
        Statement s;
        if (sqlite3_prepare_v2(db_, "SELECT row, id FROM replicas ORDER BY row", -1, &s.stmt, nullptr) != SQLITE_OK)
            return damage(sqlite3_errmsg(db_));
        int rc;
        while ((rc = sqlite3_step(s.stmt)) == SQLITE_ROW) {
            if (sqlite3_column_type(s.stmt, 1) != SQLITE_BLOB || sqlite3_column_bytes(s.stmt, 1) != 16)
                return damage("a replica id is not 16 bytes");
            Uuid id;
            std::memcpy(id.bytes.data(), sqlite3_column_blob(s.stmt, 1), 16);
            if (Status st = on_replica(sqlite3_column_int64(s.stmt, 0), id); !st) return damage(st.error_text());
        }
        if (rc != SQLITE_DONE) return damage(sqlite3_errmsg(db_));
    }
    Statement s;
    if (sqlite3_prepare_v2(db_,
                           "SELECT op, counter, replica, target_counter, target_replica, key, type, value,"
                           " ref_counter, ref_replica FROM changes ORDER BY seq",
                           -1, &s.stmt, nullptr) != SQLITE_OK)
        return damage(sqlite3_errmsg(db_));
    int rc;
    StoredRecord record;
    while ((rc = sqlite3_step(s.stmt)) == SQLITE_ROW) {
        record.op = sqlite3_column_int(s.stmt, 0);
        record.counter = sqlite3_column_int64(s.stmt, 1);
        record.replica = sqlite3_column_int64(s.stmt, 2);
        record.target_counter = sqlite3_column_int64(s.stmt, 3);
        record.target_replica = sqlite3_column_int64(s.stmt, 4);
        record.key.reset();
        if (sqlite3_column_type(s.stmt, 5) == SQLITE_TEXT) {
            const char* text = reinterpret_cast<const char*>(sqlite3_column_text(s.stmt, 5));
            record.key = std::string_view(text, sqlite3_column_bytes(s.stmt, 5));
        } else if (sqlite3_column_type(s.stmt, 5) != SQLITE_NULL) {
            return damage("a key is not text");
        }
        record.type = sqlite3_column_int(s.stmt, 6);
        int value_type = sqlite3_column_type(s.stmt, 7);
        record.value_is_integer = value_type == SQLITE_INTEGER;
        record.value_is_text = value_type == SQLITE_TEXT;
        record.integer = record.value_is_integer ? sqlite3_column_int64(s.stmt, 7) : 0;
        record.text = {};
        if (record.value_is_text) {
            const char* text = reinterpret_cast<const char*>(sqlite3_column_text(s.stmt, 7));
            record.text = std::string_view(text, sqlite3_column_bytes(s.stmt, 7));
        }
        record.ref_counter = sqlite3_column_int64(s.stmt, 8);
        record.ref_replica = sqlite3_column_int64(s.stmt, 9);
        if (Status st = on_record(record); !st) return damage(st.error_text());
    }
    if (rc != SQLITE_DONE) return damage(sqlite3_errmsg(db_));
    return {};
}

Status SqliteLog::begin() {
    if (open_transaction_) return {};
    if (sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) return failure("begin");
    open_transaction_ = true;
    return {};
}

Status SqliteLog::replica_row(const Replica* replica, std::int64_t& row) {
    if (!replica) {
        row = 0;
        return {};
    }
    if (replica->row == 0) {
        sqlite3_reset(insert_replica_);
        sqlite3_bind_blob(insert_replica_, 1, replica->id.bytes.data(), 16, SQLITE_STATIC);
        if (sqlite3_step(insert_replica_) != SQLITE_DONE) {
            sqlite3_reset(insert_replica_);
            return failure("adding a replica");
        }
        sqlite3_reset(insert_replica_);
        replica->row = sqlite3_last_insert_rowid(db_);
        rows_given_.push_back(replica);
    }
    row = replica->row;
    return {};
}

Status SqliteLog::append(const LogRecord& record) {
    MAIL_TRY(begin());
    std::int64_t replica = 0, target = 0, ref = 0;
    MAIL_TRY(replica_row(record.stamp.replica, replica));
    MAIL_TRY(replica_row(record.target.replica, target));
    MAIL_TRY(replica_row(record.ref.replica, ref));

    sqlite3_stmt* s = insert_change_;
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
    sqlite3_bind_int(s, 1, static_cast<int>(record.op));
    sqlite3_bind_int64(s, 2, static_cast<std::int64_t>(record.stamp.counter));
    sqlite3_bind_int64(s, 3, replica);
    sqlite3_bind_int64(s, 4, static_cast<std::int64_t>(record.target.counter));
    sqlite3_bind_int64(s, 5, target);
    if (record.op == Op::Put || record.op == Op::MakeMap || record.op == Op::MakeList)
        sqlite3_bind_text(s, 6, record.key.data(), static_cast<int>(record.key.size()), SQLITE_STATIC);
    int type = 0;
    if (record.value) {
        const Value& value = *record.value;
        type = static_cast<int>(value.kind);
        switch (value.kind) {
        case Kind::Bool: sqlite3_bind_int(s, 8, value.boolean ? 1 : 0); break;
        case Kind::Int: sqlite3_bind_int64(s, 8, value.integer); break;
        case Kind::Text:
            sqlite3_bind_text(s, 8, value.text.data(), static_cast<int>(value.text.size()), SQLITE_STATIC);
            break;
        default: break;
        }
    }
    sqlite3_bind_int(s, 7, type);
    if (record.op == Op::Remove) {
        sqlite3_bind_int64(s, 9, static_cast<std::int64_t>(record.ref.counter));
        sqlite3_bind_int64(s, 10, ref);
    }
    int rc = sqlite3_step(s);
    sqlite3_reset(s);
    if (rc != SQLITE_DONE) return failure("writing a change");
    return {};
}

Status SqliteLog::commit() {
    if (!open_transaction_) return {};
    if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        Error error = failure("commit");
        roll_back();
        return error;
    }
    open_transaction_ = false;
    rows_given_.clear();
    return {};
}

void SqliteLog::roll_back() {
    if (open_transaction_ && !sqlite3_get_autocommit(db_))
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    open_transaction_ = false;
    for (const Replica* replica : rows_given_) replica->row = 0;
    rows_given_.clear();
}

}  // namespace mail::persist::detail
