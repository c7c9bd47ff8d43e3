// Windows, classes and per-thread message queues (see platform/window.h).
//
// One process-wide state, guarded by one mutex, holds the classes and
// windows; each thread's queue has its own mutex and condition variable and
// an eventfd that is readable exactly while the queue is not empty. Window
// procedures always run with no lock of ours held, so they may call any of
// these functions.
#include "linux/internal/broadcast.h"
#include "linux/internal/private_files.h"
#include "linux/internal/text.h"
#include "linux/internal/window_queue.h"
#include "linux/internal/window_registry.h"

#include "platform/broadcast.h"
#include "platform/error.h"
#include "platform/runtime.h"
#include "platform/thread.h"
#include "platform/time.h"
#include "platform/window.h"

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {
namespace {

struct SentCall {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    LRESULT result = 0;
};

using DiscardHookRef = std::shared_ptr<const PostedMessageDiscardHook>;

struct Posted {
    MSG msg{};
    std::shared_ptr<std::vector<BYTE>> payload;
    std::shared_ptr<SentCall> sent;  // set for a message sent from another thread
    DiscardHookRef discard;          // the window's hook when it was posted
};

// Hands a dropped message to its window's discard hook; called with no
// lock held.
void discarded(const Posted& item)
{
    if (item.discard != nullptr && *item.discard)
        (*item.discard)(item.msg);
}

class MessageQueue {
public:
    MessageQueue() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~MessageQueue()
    {
        // Senders still waiting get their answer (0) instead of waiting for
        // a thread that has gone.
        for (Posted& p : m_items) {
            if (p.sent)
                finish(*p.sent, 0);
            else
                discarded(p);
        }
        if (m_fd >= 0)
            ::close(m_fd);
    }

    static void finish(SentCall& call, LRESULT result)
    {
        std::lock_guard lock(call.mutex);
        call.result = result;
        call.finished = true;
        call.done.notify_all();
    }

    void push(Posted item)
    {
        std::lock_guard lock(m_mutex);
        m_items.push_back(std::move(item));
        const std::uint64_t one = 1;
        if (m_fd >= 0)
            [[maybe_unused]] auto n = ::write(m_fd, &one, sizeof one);
        m_changed.notify_all();
    }

    // Takes (or only copies) the first message for the filter; a message
    // sent from another thread is always taken first. Waits when `wait`.
    bool take(HWND window, UINT low, UINT high, bool remove, bool wait, Posted* out)
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            auto match = m_items.end();
            for (auto it = m_items.begin(); it != m_items.end(); ++it) {
                if (it->sent) {
                    match = it;
                    break;
                }
            }
            if (match == m_items.end())
                match = std::find_if(m_items.begin(), m_items.end(),
                                     [&](const Posted& p) { return matches(p.msg, window, low, high); });
            if (match != m_items.end()) {
                *out = *match;
                if (remove || match->sent) {
                    m_items.erase(match);
                    drainWhenEmpty();
                }
                return true;
            }
            if (!wait)
                return false;
            m_changed.wait(lock);
        }
    }

    void dropFor(HWND window)
    {
        std::vector<Posted> dropped;
        {
            std::lock_guard lock(m_mutex);
            for (auto it = m_items.begin(); it != m_items.end();) {
                if (it->msg.hwnd == window) {
                    if (it->sent)
                        finish(*it->sent, 0);
                    else
                        dropped.push_back(std::move(*it));
                    it = m_items.erase(it);
                } else {
                    ++it;
                }
            }
            drainWhenEmpty();
        }
        for (const Posted& item : dropped)
            discarded(item);
    }

    int descriptor() const { return m_fd; }

private:
    static bool matches(const MSG& msg, HWND window, UINT low, UINT high)
    {
        if (msg.message == WM_QUIT)
            return true;
        if (window != nullptr && msg.hwnd != window)
            return false;
        return (low == 0 && high == 0) || (msg.message >= low && msg.message <= high);
    }

    void drainWhenEmpty()
    {
        if (!m_items.empty() || m_fd < 0)
            return;
        std::uint64_t count = 0;
        [[maybe_unused]] auto n = ::read(m_fd, &count, sizeof count);
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Posted> m_items;
    int m_fd;
};

struct ClassRecord {
    WNDCLASSEXW record{};
    std::wstring name;
};

struct Window {
    std::wstring className;
    std::wstring name;
    HWND parent = nullptr;
    WNDPROC proc = nullptr;
    DWORD thread = 0;
    LONG_PTR userData = 0;
    DiscardHookRef discard;
};

std::wstring lowerWide(const std::wstring& text)
{
    std::wstring out = text;
    for (wchar_t& c : out)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    return out;
}

struct State {
    std::mutex mutex;
    std::map<DWORD, std::shared_ptr<MessageQueue>> queues;
    std::map<std::uintptr_t, Window> windows;
    std::map<std::wstring, ClassRecord> classes;  // by lower-case name
    std::uintptr_t nextWindow = 0x10010;
    ATOM nextAtom = 0xC001;
    std::map<std::string, UINT> messageNumbers;  // by lower-case name
};

// Never destroyed: threads may still post while the process exits.
State& state()
{
    static State* s = new State;
    return *s;
}

// The calling thread's claim on its queue: made at the thread's first
// window or message call, it takes the queue and the thread's windows away
// when the thread ends.
struct QueueOwner {
    std::shared_ptr<MessageQueue> queue;
    DWORD thread = 0;
    ~QueueOwner()
    {
        if (queue == nullptr)
            return;
        State& s = state();
        std::lock_guard lock(s.mutex);
        s.queues.erase(thread);
        for (auto it = s.windows.begin(); it != s.windows.end();)
            it = it->second.thread == thread ? s.windows.erase(it) : std::next(it);
    }
};

thread_local QueueOwner t_owner;
// The payload of the message this thread took last.
thread_local std::shared_ptr<std::vector<BYTE>> t_payload;

MessageQueue& ownQueue()
{
    if (t_owner.queue == nullptr) {
        t_owner.queue = std::make_shared<MessageQueue>();
        t_owner.thread = GetCurrentThreadId();
        State& s = state();
        std::lock_guard lock(s.mutex);
        s.queues[t_owner.thread] = t_owner.queue;
    }
    return *t_owner.queue;
}

std::uintptr_t key(HWND window)
{
    return reinterpret_cast<std::uintptr_t>(window);
}

// The window's procedure and thread; false (1400) when it does not exist.
bool lookup(HWND window, Window* out)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    const auto found = s.windows.find(key(window));
    if (found == s.windows.end()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return false;
    }
    *out = found->second;
    return true;
}

std::shared_ptr<MessageQueue> queueOf(DWORD thread)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    const auto found = s.queues.find(thread);
    return found == s.queues.end() ? nullptr : found->second;
}

bool post(HWND window, UINT message, WPARAM wParam, LPARAM lParam, std::shared_ptr<std::vector<BYTE>> payload)
{
    std::shared_ptr<MessageQueue> queue;
    DiscardHookRef discard;
    if (window == nullptr) {
        ownQueue();
        queue = t_owner.queue;
    } else {
        Window w;
        if (!lookup(window, &w))
            return false;
        discard = w.discard;  // taken with the window: the message keeps it
        queue = queueOf(w.thread);
        if (queue == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return false;
        }
    }
    Posted item;
    item.msg = {window, message, wParam, lParam, GetTickCount(), {0, 0}};
    item.payload = std::move(payload);
    item.discard = std::move(discard);
    queue->push(std::move(item));
    return true;
}

// Takes messages until one for the caller is found: messages that other
// threads sent are answered on the way, messages of windows that no longer
// exist are dropped.
bool takeMessage(LPMSG message, HWND window, UINT low, UINT high, bool remove, bool wait)
{
    MessageQueue& queue = ownQueue();
    for (;;) {
        Posted item;
        if (!queue.take(window, low, high, remove, wait, &item))
            return false;
        if (item.sent) {
            Window w;
            const LRESULT result =
                lookup(item.msg.hwnd, &w) ? w.proc(item.msg.hwnd, item.msg.message, item.msg.wParam, item.msg.lParam)
                                          : 0;
            MessageQueue::finish(*item.sent, result);
            continue;
        }
        if (item.msg.hwnd != nullptr && !IsWindow(item.msg.hwnd)) {
            if (!remove)
                queue.dropFor(item.msg.hwnd);
            else
                discarded(item);
            continue;
        }
        if (remove)
            t_payload = std::move(item.payload);
        *message = item.msg;
        return true;
    }
}

std::wstring wideName(LPCWSTR name)
{
    return name != nullptr ? std::wstring(name) : std::wstring();
}

// Numbers of registered messages live in <runtime>/window-messages, one
// "number name" line each, written under an flock, so every process that
// shares the runtime directory agrees on them.
UINT registeredMessage(const std::string& lowerName)
{
    State& s = state();
    {
        std::lock_guard lock(s.mutex);
        const auto found = s.messageNumbers.find(lowerName);
        if (found != s.messageNumbers.end())
            return found->second;
    }
    const std::string directory = runtimeDirectory();
    const int fd = directory.empty() ? -1 : openPrivateFile(directory + "/window-messages", O_RDWR | O_CREAT);
    UINT number = 0;
    if (fd >= 0 && ::flock(fd, LOCK_EX) == 0) {
        const std::string text = readUpTo(fd, std::size_t{8} << 20);  // 16,384 names at most
        UINT highest = 0xBFFF;
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            const std::string line = text.substr(start, end - start);
            start = end + 1;
            const std::size_t space = line.find(' ');
            if (space == std::string::npos)
                continue;
            const auto value = static_cast<UINT>(std::strtoul(line.substr(0, space).c_str(), nullptr, 16));
            if (value < 0xC000 || value > 0xFFFF)
                continue;
            highest = std::max(highest, value);
            if (line.substr(space + 1) == lowerName)
                number = value;
        }
        if (number == 0 && highest < 0xFFFF) {
            number = highest + 1;
            char line[16];
            std::snprintf(line, sizeof line, "%04X ", number);
            const std::string entry = line + lowerName + "\n";
            [[maybe_unused]] auto n = ::pwrite(fd, entry.data(), entry.size(), static_cast<off_t>(text.size()));
        }
    }
    if (fd >= 0)
        ::close(fd);
    std::lock_guard lock(s.mutex);
    if (number == 0) {
        // No shared table: numbers of this process only.
        number = 0xC000u + static_cast<UINT>(s.messageNumbers.size() % 0x4000);
    }
    s.messageNumbers.emplace(lowerName, number);
    return s.messageNumbers[lowerName];
}

}  // namespace

bool messageCarriesPointer(UINT message, WPARAM wParam)
{
    switch (message) {
    case WM_CREATE:
    case WM_NCCREATE:
    case WM_SETTEXT:
    case WM_GETTEXT:
        return true;
    case WM_DEVICECHANGE:
        // The notices from 0x8000 on come with a DEV_BROADCAST record.
        return (wParam & 0x8000) != 0;
    default:
        return false;
    }
}

bool postMessageWithPayload(HWND window, UINT message, WPARAM wParam, std::shared_ptr<std::vector<BYTE>> payload)
{
    const LPARAM lParam = reinterpret_cast<LPARAM>(payload->data());
    return post(window, message, wParam, lParam, std::move(payload));
}

int messageQueueDescriptor()
{
    return ownQueue().descriptor();
}

std::vector<WindowEntry> windowEntries()
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    std::vector<WindowEntry> entries;
    entries.reserve(s.windows.size());
    for (const auto& [handle, window] : s.windows)  // handles grow: creation order
        entries.push_back({reinterpret_cast<HWND>(handle), window.parent, window.className, window.name});
    return entries;
}

BOOL setPostedMessageDiscardHook(HWND window, PostedMessageDiscardHook hook)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    const auto found = s.windows.find(key(window));
    if (found == s.windows.end()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    found->second.discard = hook ? std::make_shared<const PostedMessageDiscardHook>(std::move(hook)) : nullptr;
    return TRUE;
}

std::vector<HWND> topLevelWindows()
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    std::vector<HWND> windows;
    for (const auto& [handle, window] : s.windows)
        if (window.parent == nullptr)
            windows.push_back(reinterpret_cast<HWND>(handle));
    return windows;
}

}  // namespace platform

using platform::state;

HMODULE GetModuleHandleW(LPCWSTR moduleName)
{
    if (moduleName != nullptr) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(0x400000));
}

HICON LoadIconW(HINSTANCE, LPCWSTR name)
{
    return reinterpret_cast<HICON>(0x10000 + reinterpret_cast<std::uintptr_t>(name));
}

HCURSOR LoadCursorW(HINSTANCE, LPCWSTR name)
{
    return reinterpret_cast<HCURSOR>(0x20000 + reinterpret_cast<std::uintptr_t>(name));
}

ATOM RegisterClassExW(const WNDCLASSEXW* windowClass)
{
    if (windowClass == nullptr || windowClass->cbSize != sizeof(WNDCLASSEXW) || windowClass->lpfnWndProc == nullptr ||
        windowClass->lpszClassName == nullptr || *windowClass->lpszClassName == L'\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto& s = state();
    std::lock_guard lock(s.mutex);
    const std::wstring name = windowClass->lpszClassName;
    const std::wstring key = platform::lowerWide(name);
    if (s.classes.count(key) != 0) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    platform::ClassRecord record;
    record.record = *windowClass;
    record.name = name;
    s.classes.emplace(key, std::move(record));
    auto& stored = s.classes[key];
    stored.record.lpszClassName = stored.name.c_str();
    stored.record.lpszMenuName = nullptr;
    const ATOM atom = s.nextAtom;
    s.nextAtom = static_cast<ATOM>(s.nextAtom == 0xFFFF ? 0xC001 : s.nextAtom + 1);
    return atom;
}

BOOL GetClassInfoExW(HINSTANCE, LPCWSTR className, WNDCLASSEXW* windowClass)
{
    auto& s = state();
    std::lock_guard lock(s.mutex);
    const auto found = s.classes.find(platform::lowerWide(platform::wideName(className)));
    if (found == s.classes.end()) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (windowClass != nullptr) {
        *windowClass = found->second.record;
        windowClass->cbSize = sizeof(WNDCLASSEXW);
    }
    return TRUE;
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE)
{
    auto& s = state();
    std::lock_guard lock(s.mutex);
    const std::wstring key = platform::lowerWide(platform::wideName(className));
    const auto found = s.classes.find(key);
    if (found == s.classes.end()) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    for (const auto& [handle, window] : s.windows) {
        if (platform::lowerWide(window.className) == key) {
            SetLastError(ERROR_CLASS_HAS_WINDOWS);
            return FALSE;
        }
    }
    s.classes.erase(found);
    return TRUE;
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    platform::ownQueue();
    auto& s = state();
    HWND window = nullptr;
    platform::Window record;
    {
        std::lock_guard lock(s.mutex);
        const auto found = s.classes.find(platform::lowerWide(platform::wideName(className)));
        if (found == s.classes.end()) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        record.className = found->second.name;
        record.name = platform::wideName(windowName);
        record.parent = parent;
        record.proc = found->second.record.lpfnWndProc;
        record.thread = GetCurrentThreadId();
        window = reinterpret_cast<HWND>(s.nextWindow);
        s.nextWindow += 4;
        s.windows.emplace(platform::key(window), record);
    }
    CREATESTRUCTW create{param, instance, menu, parent, height, width, y, x, static_cast<LONG>(style),
                         windowName, className, exStyle};
    const LPARAM lParam = reinterpret_cast<LPARAM>(&create);
    if (record.proc(window, WM_NCCREATE, 0, lParam) == FALSE || record.proc(window, WM_CREATE, 0, lParam) == -1) {
        if (IsWindow(window))
            DestroyWindow(window);
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if (parent == nullptr)
        platform::ensureBroadcastListener();
    return window;
}

BOOL DestroyWindow(HWND window)
{
    platform::Window record;
    if (!platform::lookup(window, &record))
        return FALSE;
    if (record.thread != GetCurrentThreadId()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    record.proc(window, WM_DESTROY, 0, 0);
    record.proc(window, WM_NCDESTROY, 0, 0);
    {
        auto& s = state();
        std::lock_guard lock(s.mutex);
        s.windows.erase(platform::key(window));
    }
    platform::ownQueue().dropFor(window);
    return TRUE;
}

BOOL IsWindow(HWND window)
{
    auto& s = state();
    std::lock_guard lock(s.mutex);
    return s.windows.count(platform::key(window)) != 0 ? TRUE : FALSE;
}

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM, LPARAM)
{
    switch (message) {
    case WM_NCCREATE:
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    default:
        return 0;
    }
}

LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value)
{
    auto& s = state();
    std::lock_guard lock(s.mutex);
    const auto found = s.windows.find(platform::key(window));
    if (found == s.windows.end()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (index != GWLP_USERDATA) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const LONG_PTR previous = found->second.userData;
    found->second.userData = value;
    SetLastError(ERROR_SUCCESS);
    return previous;
}

LONG_PTR GetWindowLongPtrW(HWND window, int index)
{
    auto& s = state();
    std::lock_guard lock(s.mutex);
    const auto found = s.windows.find(platform::key(window));
    if (found == s.windows.end()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (index != GWLP_USERDATA) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return found->second.userData;
}

LONG SetWindowLongW(HWND window, int index, LONG value)
{
    return static_cast<LONG>(SetWindowLongPtrW(window, index, value));
}

LONG GetWindowLongW(HWND window, int index)
{
    return static_cast<LONG>(GetWindowLongPtrW(window, index));
}

DWORD GetWindowThreadProcessId(HWND window, LPDWORD processId)
{
    platform::Window record;
    if (!platform::lookup(window, &record))
        return 0;
    if (processId != nullptr)
        *processId = GetCurrentProcessId();
    return record.thread;
}

BOOL GetMessageW(LPMSG message, HWND window, UINT filterMin, UINT filterMax)
{
    if (message == nullptr || (window != nullptr && !IsWindow(window))) {
        SetLastError(message == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    platform::takeMessage(message, window, filterMin, filterMax, true, true);
    return message->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PeekMessageW(LPMSG message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags)
{
    if (message == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return platform::takeMessage(message, window, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0, false)
               ? TRUE
               : FALSE;
}

BOOL TranslateMessage(const MSG*)
{
    return FALSE;  // no keyboard input reaches these windows
}

LRESULT DispatchMessageW(const MSG* message)
{
    if (message == nullptr || message->hwnd == nullptr)
        return 0;
    platform::Window record;
    if (!platform::lookup(message->hwnd, &record))
        return 0;
    return record.proc(message->hwnd, message->message, message->wParam, message->lParam);
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (platform::messageCarriesPointer(message, wParam)) {
        SetLastError(ERROR_MESSAGE_SYNC_ONLY);
        return FALSE;
    }
    if (window == HWND_BROADCAST)
        return platform::broadcastPost(message, wParam, lParam) ? TRUE : FALSE;
    return platform::post(window, message, wParam, lParam, nullptr) ? TRUE : FALSE;
}

BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (platform::messageCarriesPointer(message, wParam)) {
        SetLastError(ERROR_MESSAGE_SYNC_ONLY);
        return FALSE;
    }
    const auto queue = platform::queueOf(threadId);
    if (queue == nullptr) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    platform::Posted item;
    item.msg = {nullptr, message, wParam, lParam, GetTickCount(), {0, 0}};
    queue->push(std::move(item));
    return TRUE;
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    platform::Window record;
    if (!platform::lookup(window, &record))
        return 0;
    if (record.thread == GetCurrentThreadId())
        return record.proc(window, message, wParam, lParam);
    const auto queue = platform::queueOf(record.thread);
    if (queue == nullptr)
        return 0;
    auto call = std::make_shared<platform::SentCall>();
    platform::Posted item;
    item.msg = {window, message, wParam, lParam, GetTickCount(), {0, 0}};
    item.sent = call;
    queue->push(std::move(item));
    std::unique_lock lock(call->mutex);
    call->done.wait(lock, [&] { return call->finished; });
    return call->result;
}

void PostQuitMessage(int exitCode)
{
    platform::post(nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0, nullptr);
}

UINT RegisterWindowMessageA(LPCSTR name)
{
    if (name == nullptr || *name == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string lowerName(name);
    for (char& c : lowerName)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    // A line break would split the shared table's line.
    std::replace(lowerName.begin(), lowerName.end(), '\n', ' ');
    return platform::registeredMessage(lowerName);
}

UINT RegisterWindowMessageW(LPCWSTR name)
{
    const std::string narrow = platform::narrowFromWide(name);
    return RegisterWindowMessageA(name != nullptr ? narrow.c_str() : nullptr);
}
