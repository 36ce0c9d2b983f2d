#pragma once
// Content-addressed storage for attachment bytes. A blob is named by the BLAKE3 hash of its
// bytes (64 lower-case hex digits) and kept at <data root>/blobs/<first two digits>/<hash>,
// readable by its owner only. The name given at put is kept beside it as <hash>.name.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/result.h"

namespace mail::services::blobstore {

// True only for 64 lower-case hexadecimal digits; nothing else is ever turned into a path.
bool is_valid_hash(std::string_view hash);

class BlobStore {
public:
    explicit BlobStore(std::filesystem::path root) : root_(std::move(root)) {}

    // The content hash. Putting bytes that are already stored rewrites them only when the
    // stored copy no longer matches its hash.
    Result<std::string> put(std::string_view bytes, std::string_view name) const;
    // Nothing for an invalid hash, an unknown one or a file that cannot be read.
    std::optional<std::string> get(std::string_view hash) const;
    std::optional<std::string> name_of(std::string_view hash) const;

    const std::filesystem::path& root() const { return root_; }

private:
    std::filesystem::path blob_path(std::string_view hash) const;
    std::filesystem::path root_;
};

// The store under the data root (see paths.h).
Result<std::string> put(std::string_view bytes, std::string_view name);
std::optional<std::string> get(std::string_view hash);

// Whether the bytes hash to `hash`; false for an invalid hash.
bool verify(std::string_view hash, std::string_view bytes);

}  // namespace mail::services::blobstore
