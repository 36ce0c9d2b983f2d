#pragma once
// Where MailApp keeps its own files (preferences, the account list).
#include <filesystem>
#include <memory>
#include <utility>

namespace mail {

class StorageRoot {
public:
    enum class Kind { ConfigRoot, Directory, None };

    // The account services' configuration root, the normal case.
    static StorageRoot config_root() { return StorageRoot(Kind::ConfigRoot, nullptr); }
    // A given directory, shared with its owner so it lives as long as the application (an
    // owner such as a temporary directory can hand out an aliasing pointer to its path).
    static StorageRoot directory(std::shared_ptr<const std::filesystem::path> dir) {
        return StorageRoot(Kind::Directory, std::move(dir));
    }
    static StorageRoot directory(std::filesystem::path dir) {
        return directory(std::make_shared<const std::filesystem::path>(std::move(dir)));
    }
    // Nothing is read or written.
    static StorageRoot none() { return StorageRoot(Kind::None, nullptr); }

    Kind kind() const { return kind_; }
    // The given directory; null unless kind() is Directory.
    const std::filesystem::path* directory_path() const { return dir_.get(); }

private:
    StorageRoot(Kind kind, std::shared_ptr<const std::filesystem::path> dir) : kind_(kind), dir_(std::move(dir)) {
        if (kind_ == Kind::Directory && !dir_) kind_ = Kind::None;
    }
    Kind kind_;
    std::shared_ptr<const std::filesystem::path> dir_;
};

}  // namespace mail
