#include "platform/services/blobstore.h"

#include "platform/services/blake3.h"
#include "platform/services/files.h"
#include "platform/services/paths.h"

namespace mail::services::blobstore {

bool is_valid_hash(std::string_view hash) {
    if (hash.size() != 64) return false;
    for (char c : hash) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

std::filesystem::path BlobStore::blob_path(std::string_view hash) const {
    return root_ / "blobs" / std::string(hash.substr(0, 2)) / std::string(hash);
}

Result<std::string> BlobStore::put(std::string_view bytes, std::string_view name) const {
    std::string hash = blake3_hex(bytes);
    std::filesystem::path path = blob_path(hash);
    auto existing = read_file(path);
    bool intact = existing.ok() && existing->has_value() && **existing == bytes;
    if (!intact) MAIL_TRY(write_file_atomic(path, bytes, 0600));
    if (!name.empty()) {
        std::filesystem::path name_path = path;
        name_path += ".name";
        auto stored = read_file(name_path);
        if (!(stored.ok() && stored->has_value() && **stored == name)) {
            MAIL_TRY(write_file_atomic(name_path, name, 0600));
        }
    }
    return hash;
}

std::optional<std::string> BlobStore::get(std::string_view hash) const {
    if (!is_valid_hash(hash)) return std::nullopt;
    auto content = read_file(blob_path(hash));
    if (!content.ok()) return std::nullopt;
    return std::move(content).value();
}

std::optional<std::string> BlobStore::name_of(std::string_view hash) const {
    if (!is_valid_hash(hash)) return std::nullopt;
    std::filesystem::path name_path = blob_path(hash);
    name_path += ".name";
    auto content = read_file(name_path);
    if (!content.ok()) return std::nullopt;
    return std::move(content).value();
}

Result<std::string> put(std::string_view bytes, std::string_view name) {
    auto root = data_root();
    if (!root) return make_error("no data directory for the blob store");
    return BlobStore(*root).put(bytes, name);
}

std::optional<std::string> get(std::string_view hash) {
    auto root = data_root();
    if (!root) return std::nullopt;
    return BlobStore(*root).get(hash);
}

bool verify(std::string_view hash, std::string_view bytes) {
    return is_valid_hash(hash) && blake3_hex(bytes) == hash;
}

}  // namespace mail::services::blobstore
