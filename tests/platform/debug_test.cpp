// Debugger output: discarded, to standard error, or to a sink.

#include "DebugCapture.h"

#include "platform/debug.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Capture = vxtest::DebugCapture;

class DebugOutput : public ::testing::Test {
protected:
    void SetUp() override { unsetenv("VX_DEBUG_OUTPUT"); }
    void TearDown() override { unsetenv("VX_DEBUG_OUTPUT"); }
};

TEST_F(DebugOutput, IsDiscardedByDefault)
{
    testing::internal::CaptureStderr();
    OutputDebugStringA("nobody hears this\n");
    OutputDebugStringW(L"nor this\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(DebugOutput, GoesToStandardErrorOnRequest)
{
    setenv("VX_DEBUG_OUTPUT", "stderr", 1);
    testing::internal::CaptureStderr();
    OutputDebugStringA("narrow line\n");
    OutputDebugStringW(L"wide line\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "narrow line\nwide line\n");

    setenv("VX_DEBUG_OUTPUT", "something else", 1);
    testing::internal::CaptureStderr();
    OutputDebugStringA("not this\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(DebugOutput, ASinkReceivesEachTextWhole)
{
    Capture capture;
    OutputDebugStringA("first\r\n");
    OutputDebugStringW(L"caf\u00e9 \u20ac");  // by value: 0xE9 stays, U+20AC has no byte
    OutputDebugStringA("");
    OutputDebugStringA(nullptr);
    const std::vector<std::string> expected{"first\r\n", "caf\xe9 ?", ""};
    EXPECT_EQ(capture.texts(), expected);
}

TEST_F(DebugOutput, SettingASinkAnswersThePreviousOne)
{
    int firstCalls = 0;
    EXPECT_FALSE(platform::setDebugOutputSink([&](const std::string&) { ++firstCalls; }));
    const platform::DebugOutputSink previous = platform::setDebugOutputSink([](const std::string&) {});
    ASSERT_TRUE(previous);
    previous("x");
    EXPECT_EQ(firstCalls, 1) << "the sink answered is the first one";
    EXPECT_TRUE(platform::setDebugOutputSink({}));
    OutputDebugStringA("after removal");
    EXPECT_EQ(firstCalls, 1);
}

TEST_F(DebugOutput, TextsOfManyThreadsArriveWhole)
{
    Capture capture;
    std::vector<std::string> expected;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        for (int i = 0; i < 200; ++i)
            expected.push_back("thread " + std::to_string(t) + " text " + std::to_string(i) + "\n");
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i)
                OutputDebugStringA(("thread " + std::to_string(t) + " text " + std::to_string(i) + "\n").c_str());
        });
    }
    for (auto& thread : threads)
        thread.join();
    std::vector<std::string> texts = capture.texts();
    std::sort(texts.begin(), texts.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(texts, expected);
}

TEST_F(DebugOutput, ASinkMayWriteDebugOutputItself)
{
    std::vector<std::string> texts;
    platform::setDebugOutputSink([&](const std::string& text) {
        texts.push_back(text);
        if (text == "outer")
            OutputDebugStringA("inner");
    });
    OutputDebugStringA("outer");
    platform::setDebugOutputSink({});
    EXPECT_EQ(texts, (std::vector<std::string>{"outer", "inner"}));
}

}  // namespace
