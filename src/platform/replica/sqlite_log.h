#pragma once
// The append-only change log of a replica document in one SQLite file. Included only by this
// folder's .cpp files; SQLite itself stays in sqlite_log.cpp.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/result.h"
#include "platform/base/uuid.h"
#include "platform/replica/model.h"

struct sqlite3;
struct sqlite3_stmt;

namespace mail::persist::detail {

// A logged write as read back, with replicas as rows of the replica table (0: none).
struct StoredRecord {
    int op = 0;
    std::int64_t counter = 0;
    std::int64_t replica = 0;
    std::int64_t target_counter = 0;
    std::int64_t target_replica = 0;
    std::optional<std::string_view> key;
    int type = 0;  // the Kind of the value
    bool value_is_integer = false;
    bool value_is_text = false;
    std::int64_t integer = 0;
    std::string_view text;
    std::int64_t ref_counter = 0;
    std::int64_t ref_replica = 0;
};

class SqliteLog {
public:
    // Opens or creates the file and takes the lock on it. A new file gets a new replica id.
    static Result<std::unique_ptr<SqliteLog>> open(const std::filesystem::path& file);
    ~SqliteLog();
    SqliteLog(const SqliteLog&) = delete;
    SqliteLog& operator=(const SqliteLog&) = delete;

    const Uuid& local_replica() const { return local_; }

    // Replays the file: every replica, then every record in the order written. Either
    // callback may stop the reading with an error, which comes back as the file's damage.
    Status read(const std::function<Status(std::int64_t row, const Uuid& id)>& on_replica,
                const std::function<Status(const StoredRecord&)>& on_record);

    // Records of one change: the first append opens the transaction, commit closes it.
    Status append(const LogRecord& record);
    Status commit();
    void roll_back();

private:
    SqliteLog(sqlite3* db, std::filesystem::path file);
    Status prepare();
    Status begin();
    Status replica_row(const Replica* replica, std::int64_t& row);
    Error failure(std::string_view what) const;
    Error damage(std::string_view what) const;

    sqlite3* db_;
    std::filesystem::path file_;
    Uuid local_;
    sqlite3_stmt* insert_change_ = nullptr;
    sqlite3_stmt* insert_replica_ = nullptr;
    bool open_transaction_ = false;
    std::vector<const Replica*> rows_given_;  // replica rows assigned in the open transaction
};

}  // namespace mail::persist::detail
