#pragma once
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/base/uuid.h"

namespace mail::services::testing {

// A fresh directory under the system temporary directory, removed with the object.
class TempDir {
public:
    TempDir() : path_(std::filesystem::temp_directory_path() /
                      ("mail-services-test-" + std::to_string(::getpid()) + "-" + Uuid::random_v4().to_string())) {
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

}  // namespace mail::services::testing
