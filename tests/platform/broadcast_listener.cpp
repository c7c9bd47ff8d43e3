// A process that listens for window broadcasts, for tests of
// PostMessageW(HWND_BROADCAST, ...): it creates one top-level window,
// registers the message names it is given and appends "NAME wParam
// lParam" for each of them that arrives to its output file. It writes
// "ready" once it listens and ends on the registered message
// "VX_LISTENER_QUIT" or after 60 seconds.
//
//   vxbroadcastlistener OUTPUT NAME...
#include "platform/window.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>

namespace {

LRESULT windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    std::thread([] {
        std::this_thread::sleep_for(std::chrono::seconds(60));
        std::_Exit(3);
    }).detach();
    std::map<UINT, std::string> names;
    for (int i = 2; i < argc; ++i)
        names[RegisterWindowMessageA(argv[i])] = argv[i];
    const UINT quit = RegisterWindowMessageA("VX_LISTENER_QUIT");
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &windowProc;
    windowClass.lpszClassName = L"VxBroadcastListener";
    RegisterClassExW(&windowClass);
    HWND window = CreateWindowExW(0, L"VxBroadcastListener", L"listener", 0, 0, 0, 0, 0, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (window == nullptr)
        return 4;
    auto append = [&](const std::string& line) {
        if (FILE* out = std::fopen(argv[1], "a")) {
            std::fputs(line.c_str(), out);
            std::fclose(out);
        }
    };
    append("ready\n");
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == quit)
            break;
        const auto found = names.find(msg.message);
        if (found != names.end())
            append(found->second + " " + std::to_string(msg.wParam) + " " + std::to_string(msg.lParam) + "\n");
        DispatchMessageW(&msg);
    }
    return 0;
}
