#include "platform/pickers/pick_request.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using mail::ui::FileFilter;
using mail::ui::OpenedFile;
using mail::ui::PickCancelled;
using mail::ui::PickDescription;
using mail::ui::PickDisconnected;
using mail::ui::PickFailed;
using mail::ui::PickKind;
using mail::ui::PickRequest;

class PickRequestTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("mail-pick-test-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        unsetenv("VARO_MAIL_PICK_SCRIPT");
    }
    void TearDown() override {
        PickRequest::set_scripted_chooser({});
        unsetenv("VARO_MAIL_PICK_SCRIPT");
        fs::remove_all(dir_);
    }

    static void answer_with(PickRequest::ScriptedAnswer answer) {
        PickRequest::set_scripted_chooser([answer](const PickDescription&) { return answer; });
    }

    static mail::ui::OpenOutcome open_and_wait() {
        auto receiver = PickRequest::open("Attach file", "Attach").filter(FileFilter::all_files()).send_open_file();
        auto outcome = receiver.wait_for(10s);
        EXPECT_TRUE(outcome.has_value());
        EXPECT_FALSE(receiver.try_recv().has_value()) << "one outcome per request";
        return outcome ? std::move(*outcome) : mail::ui::OpenOutcome(PickDisconnected{});
    }

    fs::path dir_;
};

TEST_F(PickRequestTest, OpenDeliversTheChosenFileReadyToRead) {
    const fs::path file = dir_ / "Report.PDF";
    std::ofstream(file, std::ios::binary) << std::string("%PDF-1.7\0\xff tail", 15);

    std::promise<PickDescription> seen;
    std::promise<std::string> thread_name;
    PickRequest::set_scripted_chooser([&](const PickDescription& description) -> PickRequest::ScriptedAnswer {
        char name[16] = {};
        pthread_getname_np(pthread_self(), name, sizeof name);
        thread_name.set_value(name);
        seen.set_value(description);
        return file;
    });

    auto receiver = PickRequest::open("Attach file", "Attach")
                        .thread_name("mail-portal-stage-attachment")
                        .filter(FileFilter::all_files())
                        .send_open_file();
    auto outcome = receiver.wait_for(10s);
    ASSERT_TRUE(outcome.has_value());
    auto* opened = std::get_if<OpenedFile>(&*outcome);
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(opened->name(), "Report.PDF");
    EXPECT_EQ(opened->path(), file);

    mail::ui::PickedFile handle = opened->into_file();
    const auto metadata = handle.metadata();
    ASSERT_TRUE(metadata.ok());
    EXPECT_TRUE(metadata->is_regular);
    EXPECT_EQ(metadata->size, 15u);
    const auto head = handle.read_up_to(4);
    ASSERT_TRUE(head.ok());
    EXPECT_EQ(std::string(head->begin(), head->end()), "%PDF");
    const auto rest = handle.read_up_to(1000);
    ASSERT_TRUE(rest.ok());
    EXPECT_EQ(std::string(rest->begin(), rest->end()), std::string("-1.7\0\xff tail", 11));

    const PickDescription description = seen.get_future().get();
    EXPECT_EQ(description.kind, PickKind::Open);
    EXPECT_EQ(description.title, "Attach file");
    EXPECT_EQ(description.accept_label, "Attach");
    ASSERT_EQ(description.filters.size(), 1u);
    EXPECT_EQ(description.filters[0].patterns, std::vector<std::string>{"*"});
    EXPECT_EQ(thread_name.get_future().get(), "mail-portal-sta");  // the kernel keeps 15 bytes
}

TEST_F(PickRequestTest, CancelFailureAndMissingFileArriveAsOutcomes) {
    answer_with(PickCancelled{});
    EXPECT_TRUE(std::holds_alternative<PickCancelled>(open_and_wait()));

    answer_with(PickFailed{"portal unavailable"});
    auto failed = open_and_wait();
    ASSERT_TRUE(std::holds_alternative<PickFailed>(failed));
    EXPECT_EQ(std::get<PickFailed>(failed).message, "portal unavailable");

    answer_with(dir_ / "gone.txt");
    auto missing = open_and_wait();
    ASSERT_TRUE(std::holds_alternative<PickFailed>(missing));
    EXPECT_NE(std::get<PickFailed>(missing).message.find("gone.txt"), std::string::npos);

    PickRequest::set_scripted_chooser([](const PickDescription&) -> PickRequest::ScriptedAnswer {
        throw std::runtime_error("chooser crashed");
    });
    auto thrown = open_and_wait();
    ASSERT_TRUE(std::holds_alternative<PickFailed>(thrown));
    EXPECT_EQ(std::get<PickFailed>(thrown).message, "chooser crashed");
}

TEST_F(PickRequestTest, DirectoriesAndPipesOpenWithoutBlockingSoTheCallerCanRefuseThem) {
    answer_with(dir_);
    auto directory = open_and_wait();
    ASSERT_TRUE(std::holds_alternative<OpenedFile>(directory));
    const auto dir_metadata = std::get<OpenedFile>(directory).into_file().metadata();
    ASSERT_TRUE(dir_metadata.ok());
    EXPECT_FALSE(dir_metadata->is_regular);
    EXPECT_TRUE(dir_metadata->is_directory);

    // A named pipe without a writer would block a plain open forever.
    const fs::path fifo = dir_ / "pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    answer_with(fifo);
    auto pipe = open_and_wait();
    ASSERT_TRUE(std::holds_alternative<OpenedFile>(pipe));
    const auto pipe_metadata = std::get<OpenedFile>(pipe).into_file().metadata();
    ASSERT_TRUE(pipe_metadata.ok());
    EXPECT_FALSE(pipe_metadata->is_regular);
}

TEST_F(PickRequestTest, PollingNeverWaitsForTheChooser) {
    std::mutex gate;
    std::unique_lock hold(gate);
    const fs::path file = dir_ / "a.txt";
    std::ofstream(file) << "a";
    PickRequest::set_scripted_chooser([&](const PickDescription&) -> PickRequest::ScriptedAnswer {
        std::lock_guard wait(gate);
        return file;
    });
    auto receiver = PickRequest::save("Save attachment", "Save", "a.txt").send();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(receiver.try_recv().has_value());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_FALSE(receiver.is_finished());
    hold.unlock();
    auto outcome = receiver.wait_for(10s);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_EQ(std::get<fs::path>(*outcome), file);
    EXPECT_TRUE(receiver.is_finished());
}

TEST_F(PickRequestTest, EnvironmentScriptAnswersSaveAndOpen) {
    setenv("VARO_MAIL_PICK_SCRIPT", dir_.c_str(), 1);
    auto into_folder = PickRequest::save("Save attachment", "Save", "invite.ics").send().wait_for(10s);
    ASSERT_TRUE(into_folder.has_value());
    EXPECT_EQ(std::get<fs::path>(*into_folder), dir_ / "invite.ics");

    const fs::path file = dir_ / "notes.md";
    std::ofstream(file) << "# notes";
    setenv("VARO_MAIL_PICK_SCRIPT", file.c_str(), 1);
    auto opened = open_and_wait();
    ASSERT_TRUE(std::holds_alternative<OpenedFile>(opened));
    EXPECT_EQ(std::get<OpenedFile>(opened).name(), "notes.md");

    setenv("VARO_MAIL_PICK_SCRIPT", "cancel", 1);
    auto cancelled = PickRequest::save("x.txt").send().wait_for(10s);
    ASSERT_TRUE(cancelled.has_value());
    EXPECT_TRUE(std::holds_alternative<PickCancelled>(*cancelled));
}

TEST_F(PickRequestTest, WithoutScriptOrDisplayEveryRequestIsCancelled) {
    EXPECT_TRUE(std::holds_alternative<PickCancelled>(open_and_wait()));
    auto save = PickRequest::save("a.txt").send().wait_for(10s);
    ASSERT_TRUE(save.has_value());
    EXPECT_TRUE(std::holds_alternative<PickCancelled>(*save));
}

TEST_F(PickRequestTest, SaveRequestCannotOpenAFile) {
    answer_with(dir_ / "a.txt");
    auto outcome = PickRequest::save("a.txt").send_open_file().wait_for(10s);
    ASSERT_TRUE(outcome.has_value());
    EXPECT_TRUE(std::holds_alternative<PickFailed>(*outcome));
}

TEST(PickReceiver, ReportsADisconnectionOnceWhenTheChooserVanishes) {
    auto channel = mail::make_channel<mail::ui::PathReceiver::Answer>();
    mail::ui::PathReceiver receiver(std::move(channel.receiver));
    EXPECT_FALSE(receiver.try_recv().has_value());
    { auto gone = std::move(channel.sender); }
    auto outcome = receiver.try_recv();
    ASSERT_TRUE(outcome.has_value());
    EXPECT_TRUE(std::holds_alternative<PickDisconnected>(*outcome));
    EXPECT_FALSE(receiver.try_recv().has_value());
}

}  // namespace
