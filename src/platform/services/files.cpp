#include "platform/services/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/base/uuid.h"

namespace mail::services {
namespace {

Error os_error(std::string_view what, const std::filesystem::path& path, int error) {
    return make_error(std::string(what) + " " + path.string() + ": " + std::strerror(error));
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { if (fd_ >= 0) ::close(fd_); }
    int get() const { return fd_; }
    // close() reports deferred write errors (NFS, quotas), so it is checked where it matters.
    int close() {
        int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }

private:
    int fd_;
};

}  // namespace

Status write_file_atomic(const std::filesystem::path& path, std::string_view bytes, unsigned mode) {
    if (path.filename().empty()) return make_error("could not write " + path.string() + ": not a file name");
    std::filesystem::path dir = path.parent_path();
    if (dir.empty()) dir = ".";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) return make_error("could not create directory " + dir.string() + ": " + ec.message());

    std::string random = Uuid::random_v4().to_string().substr(0, 8);
    std::filesystem::path temp = dir / ("." + path.filename().string() + ".tmp-" + random);
    Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode & 0777));
    if (fd.get() < 0) return os_error("could not write", path, errno);
    auto fail = [&](int error) -> Status {
        ::unlink(temp.c_str());
        return os_error("could not write", path, error);
    };
    // open() applied the umask; set the exact mode before any content exists.
    if (::fchmod(fd.get(), mode & 07777) != 0) return fail(errno);
    std::string_view rest = bytes;
    while (!rest.empty()) {
        ssize_t written = ::write(fd.get(), rest.data(), rest.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        rest.remove_prefix(static_cast<std::size_t>(written));
    }
    if (::fsync(fd.get()) != 0) return fail(errno);
    if (fd.close() != 0) return fail(errno);
    if (::rename(temp.c_str(), path.c_str()) != 0) return fail(errno);

    // Makes the rename itself durable.
    Fd dir_fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir_fd.get() >= 0) ::fsync(dir_fd.get());
    return {};
}

Result<std::optional<std::string>> read_file(const std::filesystem::path& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT) return std::optional<std::string>();
        return os_error("could not read", path, errno);
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return os_error("could not read", path, errno);
    if (S_ISDIR(info.st_mode)) return os_error("could not read", path, EISDIR);
    std::string content;
    if (info.st_size > 0) content.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            return os_error("could not read", path, errno);
        }
        if (got == 0) break;
        content.append(buffer, static_cast<std::size_t>(got));
    }
    return std::optional<std::string>(std::move(content));
}

}  // namespace mail::services
