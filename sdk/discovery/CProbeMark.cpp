#include "discovery/CProbeMark.h"

#include "base/CScanningSDK.h"
#include "base/StringUtils.h"

#include "platform/error.h"
#include "platform/sync.h"
#include "platform/time.h"

#include <cctype>

CProbeMark::CProbeMark(const std::string& portName) : m_name("Global\\VX_PORT_PROBE_")
{
    for (char c : portName)
        m_name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

CProbeMark::~CProbeMark()
{
    release();
}

bool CProbeMark::take(const CStopper& owner)
{
    if (m_handle != nullptr)
        return true;
    bool waited = false;
    for (;;) {
        HANDLE handle = CreateMutexA(nullptr, FALSE, m_name.c_str());
        if (handle == nullptr) {
            SDK_LOG(logbit::internal, "CProbeMark::take",
                    "Cannot make the probe mark " + m_name + ", error " + intToString(static_cast<int>(GetLastError())) +
                        ": probing unmarked.");
            return true;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            m_handle = handle;
            return true;
        }
        CloseHandle(handle);
        if (!waited) {
            SDK_LOG(logbit::retry, "CProbeMark::take", "Another discovery is probing the port; waiting. " + m_name);
            waited = true;
        }
        if (owner.isStopped())
            return false;
        Sleep(kPollMs);
    }
}

void CProbeMark::release()
{
    if (m_handle != nullptr) {
        CloseHandle(m_handle);
        m_handle = nullptr;
    }
}
