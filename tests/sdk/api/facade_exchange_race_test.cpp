// Synchronous menu commands on one thread while another switches the
// processing state back and forth (each switch makes its own decode-header
// exchange): every command gets its own reply, never the other exchange's.
#include "ApiFixture.h"

#include "protocol/CMenuData.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

using namespace vxtest;

namespace {

constexpr int kCommands = 200;

// "Q00017": one setting tag per command, so that a reply names the command
// it answers.
std::string tagOf(int index)
{
    char tag[16];
    std::snprintf(tag, sizeof tag, "Q%05d", index);
    return tag;
}

class ExchangeRaceTest : public ApiTest {};

TEST_F(ExchangeRaceTest, CommandsAndStateSwitchesEachGetTheirOwnReplies)
{
    auto& scanner = plugSerial("rs232", "exchange-race");
    vxsim::MenuModel menu = scanner.model().menu;
    for (int i = 0; i < kCommands; ++i)
        menu.settings[tagOf(i)] = std::to_string(i % 10);
    scanner.setMenuModel(menu);
    connectAndCollect(discoverOne({0}));
    if (HasFatalFailure())
        return;

    std::atomic<bool> commandsStarted{false};
    std::atomic<bool> commandsDone{false};
    std::atomic<int> switches{0};
    std::atomic<int> failedSwitches{0};
    std::thread switcher([&] {
        while (!commandsStarted.load())
            std::this_thread::yield();
        for (int state = 0; !commandsDone.load(); state = 1 - state) {
            if (m_collection.switchProcessorState(state) != 0)
                ++failedSwitches;
            ++switches;
        }
        if (m_collection.getCurrentState() != 1 && m_collection.switchProcessorState(1) != 0)
            ++failedSwitches;
    });

    std::vector<std::string> wrong;
    int answered = 0;
    int refusedInRaw = 0;
    commandsStarted = true;
    for (int i = 0; i < kCommands; ++i) {
        const std::string tag = tagOf(i);
        // A command sent while the processor is raw is refused (6) and
        // sent again; any other failure ends the test's patience for it.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            int code = -1;
            CMenuData* reply = m_collection.sendMenuCmdSync(&code, menuFrame(tag + "?."), 5000);
            const std::string text = replyText(reply);
            delete reply;
            if (code == 6) {
                ++refusedInRaw;
                std::this_thread::yield();
                continue;
            }
            if (code != 0) {
                wrong.push_back(tag + " answered " + std::to_string(code));
                break;
            }
            if (text.rfind(tag, 0) != 0)
                wrong.push_back(tag + " got \"" + text + "\"");
            else
                ++answered;
            break;
        }
    }
    commandsDone = true;
    switcher.join();

    EXPECT_TRUE(wrong.empty()) << wrong.size() << " wrong, first: " << wrong.front();
    EXPECT_EQ(answered, kCommands);
    EXPECT_EQ(failedSwitches.load(), 0);
    // The two threads overlapped: the scanner saw decode-header commands
    // between the first and the last of the test's commands.
    const std::vector<std::string> seen = scanner.menuCommands();
    const auto first = std::find(seen.begin(), seen.end(), tagOf(0) + "?");
    const auto last = std::find(seen.begin(), seen.end(), tagOf(kCommands - 1) + "?");
    ASSERT_NE(first, seen.end());
    ASSERT_NE(last, seen.end());
    const auto headerCommands = std::count_if(first, last, [](const std::string& command) {
        return command.rfind("DECHDR", 0) == 0;
    });
    EXPECT_GE(headerCommands, 10) << "switches: " << switches.load() << ", refused in raw: " << refusedInRaw;
}

}  // namespace
