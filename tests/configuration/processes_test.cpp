// Another process hears "ADD_DEVICE" (1, 1) after an add and after a
// remove, and nothing after a modify or a failed write.
#include "ConfigTestSupport.h"
#include "TestSupport.h"

#include "platform/broadcast.h"

#include <filesystem>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vxtest;
using namespace ctl;

namespace {

class Listener {
public:
    Listener() : m_output(std::filesystem::absolute("listener.out").string())
    {
        std::filesystem::remove(m_output);  // what an earlier listener heard
        m_pid = ::fork();
        if (m_pid == 0) {
            const std::string program = programDirectory() + "/vxbroadcastlistener";
            ::execl(program.c_str(), program.c_str(), m_output.c_str(), "ADD_DEVICE", "TEST_MARK", nullptr);
            ::_exit(127);
        }
    }
    ~Listener()
    {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        std::filesystem::remove(m_output);
    }
    std::string output() const { return readFile(m_output); }
    // Everything heard up to a marker broadcast now: a sender's datagrams
    // arrive in order, so what was sent before the marker is in by then.
    std::string heardUpToMark()
    {
        const std::string mark = "TEST_MARK " + std::to_string(++m_marks) + " 0\n";
        PostMessageW(HWND_BROADCAST, RegisterWindowMessageA("TEST_MARK"), m_marks, 0);
        EXPECT_TRUE(waitUntil([&] { return output().find(mark) != std::string::npos; }));
        const std::string all = output();
        const std::string heard = all.substr(m_consumed);
        m_consumed = all.size();
        return heard.substr(0, heard.size() - mark.size());
    }
    bool ready()
    {
        if (!waitUntil([&] { return output().find("ready\n") != std::string::npos; }))
            return false;
        m_consumed = output().size();
        return true;
    }

private:
    std::string m_output;
    pid_t m_pid = -1;
    unsigned m_marks = 0;
    std::size_t m_consumed = 0;
};

}  // namespace

class ProcessesTest : public ControllerTest {};

TEST_F(ProcessesTest, ListenerHearsAddAndRemoveButNotModifyOrAFailedWrite)
{
    FailingRegistry registry;
    start(registry);
    Listener listener;
    ASSERT_TRUE(listener.ready());

    fillAdd("Lane", "COM3");
    dlg().OnAddbutton();
    ASSERT_EQ(host.lastMessage(), "Device added successfully");
    EXPECT_EQ(listener.heardUpToMark(), "ADD_DEVICE 1 1\n");

    showDevice("Lane");
    setText(IDC_TIMEOUTCOMBO, "20000");
    dlg().OnEditchangeTimeoutcombo();
    dlg().OnModifyValues();
    ASSERT_EQ(host.lastMessage(), "Specified settings modified successfully");
    EXPECT_EQ(listener.heardUpToMark(), "");

    registry.fails = [](const std::string& op, const std::string&) -> LONG { return op == "set" ? 5 : 0; };
    dlg().OnCommand(IDC_ADDDEVICERADIO);
    fillAdd("Second", "COM3");
    dlg().OnAddbutton();
    EXPECT_EQ(listener.heardUpToMark(), "");
    registry.fails = nullptr;

    showDevice("Lane");
    dlg().OnRemove();
    ASSERT_EQ(host.lastMessage(), "Device removed successfully");
    EXPECT_EQ(listener.heardUpToMark(), "ADD_DEVICE 1 1\n");
}
