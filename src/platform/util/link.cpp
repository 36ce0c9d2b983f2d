#include "platform/util/link.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace mail::link {

namespace {

constexpr std::size_t max_url_length = 64 * 1024;

std::string lower_ascii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

Status check_url(std::string_view url) {
    if (url.empty()) return make_error("the link is empty");
    if (url.size() > max_url_length) return make_error("the link is too long");
    for (const char ch : url) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c == 0x7F) return make_error("the link contains spaces or control characters");
    }
    const std::size_t colon = url.find(':');
    const std::string scheme = lower_ascii(url.substr(0, colon == std::string_view::npos ? 0 : colon));
    if (scheme == "http" || scheme == "https") {
        const std::string_view rest = url.substr(colon + 1);
        if (rest.size() < 3 || rest.substr(0, 2) != "//") return make_error("the link has no host");
        return {};
    }
    if (scheme == "mailto") {
        if (colon + 1 == url.size()) return make_error("the link has no address");
        return {};
    }
    return make_error("only http, https and mailto links can be opened");
}

// Resolves the opener before forking: after fork only async-signal-safe calls are allowed.
std::optional<std::string> find_program(const std::string& name) {
    if (name.find('/') != std::string::npos) {
        if (access(name.c_str(), X_OK) == 0) return name;
        return std::nullopt;
    }
    const char* path = std::getenv("PATH");
    std::string_view dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        const std::size_t sep = dirs.find(':');
        const std::string_view dir = dirs.substr(0, sep);
        std::string candidate(dir.empty() ? std::string_view(".") : dir);
        candidate += '/';
        candidate += name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        if (sep == std::string_view::npos) return std::nullopt;
        dirs.remove_prefix(sep + 1);
    }
}

void write_errno_and_exit(int fd, int error) {
    [[maybe_unused]] const auto written = write(fd, &error, sizeof error);
    _exit(127);
}

}  // namespace

Status try_os_open(std::string_view url) {
    MAIL_TRY(check_url(url));

    const char* configured = std::getenv("VARO_MAIL_OPEN_COMMAND");
    const std::string opener = configured && *configured ? configured : "xdg-open";
    const std::optional<std::string> program = find_program(opener);
    if (!program) return make_error(opener + " was not found");

    const std::string url_text(url);
    std::vector<char*> argv = {const_cast<char*>(program->c_str()), const_cast<char*>(url_text.c_str()),
                               nullptr};

    int status_pipe[2];
    if (pipe2(status_pipe, O_CLOEXEC) != 0)
        return make_error(std::string("could not start ") + opener + ": " + std::strerror(errno));
    const int null_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);

    // Fork twice so that the opener is reparented to init and never left as our zombie; the
    // grandchild reports a failed exec through the close-on-exec pipe.
    const pid_t child = fork();
    if (child < 0) {
        const int error = errno;
        close(status_pipe[0]);
        close(status_pipe[1]);
        if (null_fd >= 0) close(null_fd);
        return make_error(std::string("could not start ") + opener + ": " + std::strerror(error));
    }
    if (child == 0) {
        close(status_pipe[0]);
        setsid();
        const pid_t grandchild = fork();
        if (grandchild < 0) write_errno_and_exit(status_pipe[1], errno);
        if (grandchild > 0) _exit(0);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGPIPE, SIG_DFL);
        if (null_fd >= 0) dup2(null_fd, STDIN_FILENO);
        execve(argv[0], argv.data(), environ);
        write_errno_and_exit(status_pipe[1], errno);
    }

    close(status_pipe[1]);
    if (null_fd >= 0) close(null_fd);
    int child_status = 0;
    while (waitpid(child, &child_status, 0) < 0 && errno == EINTR) {
    }
    int exec_error = 0;
    ssize_t got;
    do {
        got = read(status_pipe[0], &exec_error, sizeof exec_error);
    } while (got < 0 && errno == EINTR);
    close(status_pipe[0]);
    if (got == static_cast<ssize_t>(sizeof exec_error))
        return make_error(std::string("could not start ") + opener + ": " + std::strerror(exec_error));
    return {};
}

}  // namespace mail::link
