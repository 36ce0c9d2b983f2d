#include "platform/pickers/pick_request.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>

#include "platform/pickers/file_dialog.h"

namespace mail::ui {

namespace fs = std::filesystem;

FileFilter FileFilter::all_files() { return FileFilter{"All files", {"*"}}; }

// ---------------------------------------------------------------------------------------------
// Files

PickedFile& PickedFile::operator=(PickedFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.release();
    }
    return *this;
}

void PickedFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

int PickedFile::release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

Result<PickedFile::Metadata> PickedFile::metadata() const {
    if (fd_ < 0) return make_error("the file is not open");
    struct stat info {};
    if (fstat(fd_, &info) != 0) return make_error(std::strerror(errno));
    Metadata out;
    out.is_regular = S_ISREG(info.st_mode);
    out.is_directory = S_ISDIR(info.st_mode);
    out.size = info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    return out;
}

Result<std::vector<std::uint8_t>> PickedFile::read_up_to(std::size_t max_bytes) {
    if (fd_ < 0) return make_error("the file is not open");
    std::vector<std::uint8_t> out;
    // Grow with the data rather than reserving the limit: most files are far below it.
    std::size_t chunk = 64 * 1024;
    while (out.size() < max_bytes) {
        const std::size_t want = std::min(chunk, max_bytes - out.size());
        const std::size_t old_size = out.size();
        out.resize(old_size + want);
        const ssize_t got = ::read(fd_, out.data() + old_size, want);
        if (got < 0) {
            out.resize(old_size);
            if (errno == EINTR) continue;
            return make_error(std::strerror(errno));
        }
        out.resize(old_size + static_cast<std::size_t>(got));
        if (got == 0) break;
        chunk = std::min<std::size_t>(chunk * 2, 4 * 1024 * 1024);
    }
    return out;
}

OpenedFile::OpenedFile(fs::path path, PickedFile file) : path_(std::move(path)), file_(std::move(file)) {
    name_ = path_.filename().string();
    if (name_.empty()) name_ = path_.string();
}

// ---------------------------------------------------------------------------------------------
// Requests

namespace {

using ScriptedChooser = PickRequest::ScriptedChooser;
using ScriptedAnswer = PickRequest::ScriptedAnswer;

std::atomic<std::shared_ptr<const ScriptedChooser>>& scripted_chooser() {
    static std::atomic<std::shared_ptr<const ScriptedChooser>> chooser;
    return chooser;
}

// The answer of VARO_MAIL_PICK_SCRIPT, read when the request is sent.
std::optional<ScriptedAnswer> environment_answer(const PickDescription& description) {
    const char* value = std::getenv("VARO_MAIL_PICK_SCRIPT");
    if (!value || !*value) return std::nullopt;
    const std::string text = value;
    if (text == "cancel") return ScriptedAnswer(PickCancelled{});
    std::error_code error;
    fs::path path = fs::absolute(text, error);
    if (error) path = text;
    if (description.kind == PickKind::Save && !description.suggested_name.empty() && fs::is_directory(path, error))
        path /= description.suggested_name;
    return ScriptedAnswer(std::move(path));
}

void name_this_thread(const std::string& name) {
    // Linux keeps at most 15 bytes of a thread name and refuses longer ones outright.
    const std::string cut = name.substr(0, 15);
    pthread_setname_np(pthread_self(), cut.c_str());
}

// Runs on the portal thread: the scripted answer or the dialog's.
std::optional<ScriptedAnswer> choose(const PickDescription& description,
                                     const std::shared_ptr<const ScriptedChooser>& chooser,
                                     const std::optional<ScriptedAnswer>& from_environment) {
    if (chooser) {
        try {
            return (*chooser)(description);
        } catch (const std::exception& e) {
            return ScriptedAnswer(PickFailed{e.what()});
        } catch (...) {
            return ScriptedAnswer(PickFailed{"the file chooser failed"});
        }
    }
    if (from_environment) return from_environment;
    return pick_detail::run_file_dialog(description);
}

// Opened without blocking (a named pipe would otherwise wait for a writer), and switched back
// to blocking reads for regular files.
std::variant<OpenedFile, PickCancelled, PickFailed> open_chosen(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return PickFailed{"could not open " + path.string() + ": " + std::strerror(errno)};
    PickedFile file(fd);
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        const int flags = fcntl(fd, F_GETFL);
        if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    return OpenedFile(path, std::move(file));
}

// Starts the portal thread; `deliver` turns the chooser's path into the outcome sent.
template <typename Answer, typename Deliver>
Receiver<Answer> start_portal(const PickDescription& description, Deliver deliver) {
    Channel<Answer> channel = make_channel<Answer>();
    auto chooser = scripted_chooser().load();
    std::optional<ScriptedAnswer> from_environment = chooser ? std::nullopt : environment_answer(description);
    try {
        std::thread([description, chooser = std::move(chooser), from_environment = std::move(from_environment),
                     sender = channel.sender, deliver]() mutable {
            name_this_thread(description.thread_name);
            std::optional<ScriptedAnswer> answer = choose(description, chooser, from_environment);
            // No answer: the sender goes away with this thread, which reads as a disconnection.
            if (!answer) return;
            if (auto* path = std::get_if<fs::path>(&*answer)) {
                sender.send(deliver(*path));
            } else if (auto* failed = std::get_if<PickFailed>(&*answer)) {
                sender.send(Answer(std::move(*failed)));
            } else {
                sender.send(Answer(PickCancelled{}));
            }
        }).detach();
    } catch (const std::system_error& e) {
        channel.sender.send(Answer(PickFailed{std::string("could not start the file chooser: ") + e.what()}));
    }
    return std::move(channel.receiver);
}

}  // namespace

PickRequest::PickRequest(PickKind kind) {
    description_.kind = kind;
    description_.thread_name = "mail-portal";
}

PickRequest PickRequest::open(std::string title, std::string accept_label) {
    PickRequest request(PickKind::Open);
    request.description_.title = std::move(title);
    request.description_.accept_label = std::move(accept_label);
    return request;
}

PickRequest PickRequest::save(std::string title, std::string accept_label, std::string suggested_name) {
    PickRequest request(PickKind::Save);
    request.description_.title = std::move(title);
    request.description_.accept_label = std::move(accept_label);
    request.description_.suggested_name = std::move(suggested_name);
    return request;
}

PickRequest PickRequest::save(std::string suggested_name) {
    return save("Save file", "Save", std::move(suggested_name));
}

PickRequest& PickRequest::title(std::string text) {
    description_.title = std::move(text);
    return *this;
}

PickRequest& PickRequest::accept_label(std::string text) {
    description_.accept_label = std::move(text);
    return *this;
}

PickRequest& PickRequest::suggested_name(std::string name) {
    description_.suggested_name = std::move(name);
    return *this;
}

PickRequest& PickRequest::thread_name(std::string name) {
    description_.thread_name = std::move(name);
    return *this;
}

PickRequest& PickRequest::filter(FileFilter filter) {
    description_.filters.push_back(std::move(filter));
    return *this;
}

PathReceiver PickRequest::send() const {
    using Answer = PathReceiver::Answer;
    return PathReceiver(start_portal<Answer>(description_, [](const fs::path& path) { return Answer(path); }));
}

OpenReceiver PickRequest::send_open_file() const {
    using Answer = OpenReceiver::Answer;
    if (description_.kind != PickKind::Open) {
        Channel<Answer> channel = make_channel<Answer>();
        channel.sender.send(Answer(PickFailed{"a save chooser cannot open a file"}));
        return OpenReceiver(std::move(channel.receiver));
    }
    return OpenReceiver(start_portal<Answer>(description_, [](const fs::path& path) {
        return std::visit([](auto&& value) -> Answer { return std::move(value); }, open_chosen(path));
    }));
}

void PickRequest::set_scripted_chooser(ScriptedChooser chooser) {
    scripted_chooser().store(chooser ? std::make_shared<const ScriptedChooser>(std::move(chooser)) : nullptr);
}

}  // namespace mail::ui
