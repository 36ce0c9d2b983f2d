#pragma once
// File choosers. A request runs the system's file dialog (or a scripted chooser) on a portal
// thread of its own and delivers one outcome later; the UI thread polls for it without waiting:
//
//   auto pending = PickRequest::open("Attach file", "Attach")
//                      .thread_name("mail-portal-stage-attachment")
//                      .filter(FileFilter::all_files())
//                      .send_open_file();
//   … every frame:  if (auto outcome = pending.try_recv()) { … }
//
// Scripted answers, for tests and headless runs, come first from `set_scripted_chooser`, else
// from the environment variable VARO_MAIL_PICK_SCRIPT:
//   - "cancel" cancels every request;
//   - any other value is a path answered to every request (relative to the working directory);
//     for a save request naming an existing directory, the suggested name is appended to it.
// Without a script, a run without a display (Qt's offscreen or minimal platform, or no widget
// application at all) answers every request with a cancellation instead of waiting forever.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/base/channel.h"
#include "platform/base/result.h"

namespace mail::ui {

struct FileFilter {
    std::string name;                   // "All files"
    std::vector<std::string> patterns;  // glob patterns: "*", "*.pdf"

    static FileFilter all_files();
};

enum class PickKind { Open, Save };

// Everything a chooser is asked; a scripted chooser receives it.
struct PickDescription {
    PickKind kind = PickKind::Open;
    std::string title;
    std::string accept_label;
    std::string suggested_name;  // save requests
    std::string thread_name;
    std::vector<FileFilter> filters;
};

struct PickCancelled {};
struct PickFailed {
    std::string message;
};
// The chooser went away without answering (its thread ended, the dialog was destroyed).
struct PickDisconnected {};

// A file opened read-only for the caller; closed when destroyed. Move-only.
class PickedFile {
public:
    struct Metadata {
        bool is_regular = false;
        bool is_directory = false;
        std::uint64_t size = 0;
    };

    PickedFile() = default;
    explicit PickedFile(int fd) : fd_(fd) {}
    PickedFile(PickedFile&& other) noexcept : fd_(other.release()) {}
    PickedFile& operator=(PickedFile&& other) noexcept;
    PickedFile(const PickedFile&) = delete;
    PickedFile& operator=(const PickedFile&) = delete;
    ~PickedFile() { close(); }

    bool is_open() const { return fd_ >= 0; }
    Result<Metadata> metadata() const;
    // Reads from the current position until the end of the file or `max_bytes`, whichever
    // comes first; a caller that must detect a file larger than a limit asks for limit + 1.
    Result<std::vector<std::uint8_t>> read_up_to(std::size_t max_bytes);
    void close();
    int release();

private:
    int fd_ = -1;
};

// A file chosen in an open dialog, already opened (a named pipe or device is opened without
// blocking, so the caller can refuse it after looking at its metadata).
class OpenedFile {
public:
    OpenedFile(std::filesystem::path path, PickedFile file);

    const std::filesystem::path& path() const { return path_; }
    // The file name as the chooser reported it (the last part of the path).
    const std::string& name() const { return name_; }
    // The open handle; the OpenedFile keeps only its path and name afterwards.
    PickedFile into_file() { return std::move(file_); }

private:
    std::filesystem::path path_;
    std::string name_;
    PickedFile file_;
};

// The receiving end of one request: nothing while the chooser is open, then its one outcome
// (a disconnection when the chooser ended without answering, or for a default-constructed
// receiver), then nothing. Move-only; dropping it abandons the request.
template <typename... Answers>
class PickReceiver {
public:
    using Answer = std::variant<Answers...>;
    using Outcome = std::variant<Answers..., PickDisconnected>;

    PickReceiver() = default;
    explicit PickReceiver(Receiver<Answer> receiver) : receiver_(std::move(receiver)) {}

    std::optional<Outcome> try_recv() { return take(receiver_.try_recv()); }
    // Waits at most `timeout`; for tests and tools, never on the UI thread.
    std::optional<Outcome> wait_for(std::chrono::milliseconds timeout) { return take(receiver_.recv_for(timeout)); }
    bool is_finished() const { return finished_; }

private:
    std::optional<Outcome> take(std::optional<Answer> answer) {
        if (finished_) return std::nullopt;
        if (answer) {
            finished_ = true;
            return std::visit([](auto&& value) -> Outcome { return std::move(value); }, std::move(*answer));
        }
        if (receiver_.is_closed()) {
            finished_ = true;
            return Outcome(PickDisconnected{});
        }
        return std::nullopt;
    }

    Receiver<Answer> receiver_;
    bool finished_ = false;
};

using OpenReceiver = PickReceiver<OpenedFile, PickCancelled, PickFailed>;
using PathReceiver = PickReceiver<std::filesystem::path, PickCancelled, PickFailed>;
using OpenOutcome = OpenReceiver::Outcome;
using PathOutcome = PathReceiver::Outcome;

class PickRequest {
public:
    static PickRequest open(std::string title = "Open file", std::string accept_label = "Open");
    static PickRequest save(std::string title, std::string accept_label, std::string suggested_name);
    static PickRequest save(std::string suggested_name);

    PickRequest& title(std::string text);
    PickRequest& accept_label(std::string text);
    PickRequest& suggested_name(std::string name);
    // Names the portal thread (cut to the 15 bytes a thread name can hold).
    PickRequest& thread_name(std::string name);
    // Adds a filter; the first one added is selected. No filter means all files.
    PickRequest& filter(FileFilter filter);

    const PickDescription& description() const { return description_; }

    // Starts the chooser; the outcome is the chosen path (the destination, for a save).
    PathReceiver send() const;
    // Starts an open chooser; the outcome carries the chosen file opened for reading. A save
    // request answers with a failure.
    OpenReceiver send_open_file() const;

    // What a scripted chooser answers in place of a dialog: a path, a cancellation or a failure.
    using ScriptedAnswer = std::variant<std::filesystem::path, PickCancelled, PickFailed>;
    using ScriptedChooser = std::function<ScriptedAnswer(const PickDescription&)>;
    // Replaces the dialog for every later request, from any thread; an empty function removes
    // it. The chooser runs on the request's portal thread.
    static void set_scripted_chooser(ScriptedChooser chooser);

private:
    explicit PickRequest(PickKind kind);
    PickDescription description_;
};

}  // namespace mail::ui
