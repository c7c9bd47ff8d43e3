// Another program of the user writes datagrams to this process's broadcast
// socket: system messages with a null or stray lParam and a truncated
// record. The scanner control's window and the programs' message window
// (TillProbe's and TillSetup's main windows hear broadcasts through it)
// read lParam as a record for such messages: the process lives, nothing of
// the system's range reaches them, and events and broadcasts go on.
#include "ControlFixtures.h"
#include "EventFixtures.h"
#include "ForgedBroadcast.h"
#include "TestSupport.h"

#include "QtMessagePump.h"

#include "platform/window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using vxtest::broadcastDatagram;
using vxtest::sendBroadcastToSelf;

using controltest::Container;
using controltest::Sink;
using platform::DispatchArg;


// The service object's thread raising a DataEvent through the control.
HRESULT raiseData(IDispatch* control, LONG status)
{
    HRESULT result = E_FAIL;
    std::thread([&] {
        platform::DispatchDriver driver(control, false);
        result = driver.invoke(1, DISPATCH_METHOD, {DispatchArg::i4(status)}, nullptr);
    }).join();
    return result;
}

}  // namespace

TEST(BroadcastDatagrams, ForgedSystemMessagesLeaveTheControlAndTheProgramsWindowsWorking)
{
    ASSERT_EQ(controltest::RegisterLibrary("libVXOPOSScanner.so"), S_OK);
    ASSERT_EQ(controltest::RegisterLibrary("libvx_fake_so.so"), S_OK);
    controltest::WriteDevice("dev", 1);
    Sink sink;
    Container container({&sink});
    container.run([&] {
        ASSERT_EQ(container.control->open("dev"), 0);
        ASSERT_EQ(container.control->call(controltest::ClaimDevice, {DispatchArg::i4(1000)}), 0);
    });
    ASSERT_EQ(raiseData(container.control->dispatch(), 1), S_OK);
    ASSERT_EQ(sink.count(), 1u);

    const UINT addDevice = RegisterWindowMessageA("ADD_DEVICE");
    std::vector<UINT> heard;
    MessageWindow programWindow([&](UINT message, WPARAM, LPARAM) -> LRESULT {
        heard.push_back(message);
        return 0;
    });
    ASSERT_NE(programWindow.handle(), nullptr);

    const std::string add = broadcastDatagram(addDevice, 1, 1);
    sendBroadcastToSelf(broadcastDatagram(WM_CREATE, 0, 0));
    sendBroadcastToSelf(broadcastDatagram(WM_NCCREATE, 0, 0));
    sendBroadcastToSelf(broadcastDatagram(WM_SETTEXT, 0, 0x10));
    sendBroadcastToSelf(add.substr(0, 20));
    sendBroadcastToSelf(add);

    // Datagrams are handled in the order sent: "ADD_DEVICE" comes last.
    ASSERT_TRUE(vxtest::waitUntil([&] {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        return !heard.empty() && heard.back() == addDevice;
    }));
    EXPECT_EQ(heard, std::vector<UINT>{addDevice});

    // The control's thread took whatever reached its window before this
    // task, and its events go on.
    container.run([] {});
    ASSERT_EQ(raiseData(container.control->dispatch(), 2), S_OK);
    ASSERT_EQ(sink.count(), 2u);
    EXPECT_EQ(sink.fired().back().args, std::vector<std::string>{"2"});
}
