// Collects the debugger output while it lives, from any thread.
#pragma once

#include "platform/debug.h"

#include <mutex>
#include <string>
#include <vector>

namespace vxtest {

class DebugCapture {
public:
    DebugCapture()
    {
        platform::setDebugOutputSink([this](const std::string& text) {
            std::lock_guard lock(m_mutex);
            m_texts.push_back(text);
        });
    }
    ~DebugCapture() { platform::setDebugOutputSink({}); }
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    // Every text so far, in order.
    std::vector<std::string> texts()
    {
        std::lock_guard lock(m_mutex);
        return m_texts;
    }
    // The texts that hold `part`, in order.
    std::vector<std::string> with(const std::string& part)
    {
        std::lock_guard lock(m_mutex);
        std::vector<std::string> found;
        for (const auto& text : m_texts)
            if (text.find(part) != std::string::npos)
                found.push_back(text);
        return found;
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_texts;
};

}  // namespace vxtest
