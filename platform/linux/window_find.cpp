// The desktop window and the search for this process's windows by parent,
// class and name.
#include "linux/internal/window_registry.h"

#include "platform/error.h"
#include "platform/window.h"

#include <cwctype>
#include <string>

namespace {

// Below the first handle the window service gives out, so never a window.
HWND const kDesktop = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x10000));

bool sameText(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i])))
            return false;
    return true;
}

// Narrow names are ISO-8859-1: each byte is one character.
std::wstring widen(LPCSTR text)
{
    std::wstring out;
    for (; *text != '\0'; ++text)
        out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*text)));
    return out;
}

bool topLevel(HWND parent)
{
    return parent == nullptr || parent == kDesktop;
}

}  // namespace

HWND GetDesktopWindow()
{
    return kDesktop;
}

HWND FindWindowExW(HWND parent, HWND childAfter, LPCWSTR className, LPCWSTR windowName)
{
    bool started = childAfter == nullptr;
    for (const platform::WindowEntry& entry : platform::windowEntries()) {
        if (!started) {
            started = entry.handle == childAfter;
            continue;
        }
        const bool parentMatches = topLevel(parent) ? topLevel(entry.parent) : entry.parent == parent;
        if (!parentMatches)
            continue;
        if (className != nullptr && !sameText(entry.className, className))
            continue;
        if (windowName != nullptr && !sameText(entry.name, windowName))
            continue;
        return entry.handle;
    }
    SetLastError(ERROR_SUCCESS);
    return nullptr;
}

HWND FindWindowExA(HWND parent, HWND childAfter, LPCSTR className, LPCSTR windowName)
{
    const std::wstring wideClass = className != nullptr ? widen(className) : std::wstring();
    const std::wstring wideName = windowName != nullptr ? widen(windowName) : std::wstring();
    return FindWindowExW(parent, childAfter, className != nullptr ? wideClass.c_str() : nullptr,
                         windowName != nullptr ? wideName.c_str() : nullptr);
}
