#include "platform/launch/command_line.h"

#include <gtest/gtest.h>

namespace mail::launch {
namespace {

TEST(CommandLine, ReadsEveryOptionWithSeparateOrInlineValues) {
    auto cl = parse_command_line({"--scene", "narrow", "--headless", "--size=640x480", "--config-dir", "cfg",
                                  "--input", "in.jsonl", "--wait-idle", "2.5", "--screenshot", "s.png",
                                  "--dump-accessibility", "a.json", "--dump-resources", "r.json", "--engine-request",
                                  "req.json"},
                                 {"engine-request"});
    ASSERT_TRUE(cl.ok()) << cl.error_text();
    EXPECT_EQ(cl->scene, "narrow");
    EXPECT_TRUE(cl->headless);
    EXPECT_EQ(cl->size, (std::pair{640, 480}));
    EXPECT_EQ(cl->config_dir, "cfg");
    EXPECT_EQ(cl->input, "in.jsonl");
    EXPECT_DOUBLE_EQ(*cl->wait_idle_seconds, 2.5);
    EXPECT_EQ(cl->screenshot, "s.png");
    EXPECT_EQ(cl->dump_accessibility, "a.json");
    EXPECT_EQ(cl->dump_resources, "r.json");
    ASSERT_EQ(cl->commands.size(), 1u);
    EXPECT_EQ(cl->commands[0], (std::pair<std::string, std::string>{"engine-request", "req.json"}));
}

TEST(CommandLine, RefusesWhatItCannotCarryOut) {
    const std::vector<std::vector<std::string>> bad = {
        {"--scene"},                 // value missing
        {"--size", "640"},           // not WxH
        {"--size", "0x480"},         // empty window
        {"--size", "640x480px"},     // trailing garbage
        {"--wait-idle", "soon"},     // not a number
        {"--wait-idle", "-1"},       // negative
        {"--frobnicate"},            // unknown
        {"--engine-request", "x"},   // not defined by this program
    };
    for (const auto& args : bad) {
        EXPECT_FALSE(parse_command_line(args, {}).ok()) << args[0];
    }
}

}  // namespace
}  // namespace mail::launch
