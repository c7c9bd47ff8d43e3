// Captures the SDK's log lines while it lives, without date, thread and
// level ("Class::method, text"), from any thread.
#pragma once

#include "base/CLogger.h"
#include "base/CScanningSDK.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace vxtest {

class SdkLogCapture {
public:
    explicit SdkLogCapture(DWORD mask = CLogger::kDefaultMask)
        : m_logger(CLogger::createCustomizeLogger(0, &SdkLogCapture::take))
    {
        {
            std::lock_guard lock(mutex());
            lines().clear();
        }
        m_logger.setMask(mask);
        CScanningSDK::SetLogger(&m_logger);
    }
    ~SdkLogCapture() { CScanningSDK::SetLogger(nullptr); }
    SdkLogCapture(const SdkLogCapture&) = delete;
    SdkLogCapture& operator=(const SdkLogCapture&) = delete;

    // The lines that hold `part`, in order.
    static std::vector<std::string> linesWith(const std::string& part)
    {
        std::lock_guard lock(mutex());
        std::vector<std::string> found;
        for (const std::string& line : lines())
            if (line.find(part) != std::string::npos)
                found.push_back(line);
        return found;
    }
    static std::size_t count(const std::string& part) { return linesWith(part).size(); }
    static void clear()
    {
        std::lock_guard lock(mutex());
        lines().clear();
    }

private:
    static void take(int, std::string line)
    {
        std::size_t at = 0;
        for (int commas = 0; commas < 3 && at != std::string::npos; ++commas) {
            at = line.find(',', at);
            at = at == std::string::npos ? at : at + 1;
        }
        std::lock_guard lock(mutex());
        lines().push_back(at == std::string::npos ? line : line.substr(at));
    }
    static std::mutex& mutex()
    {
        static std::mutex m;
        return m;
    }
    static std::vector<std::string>& lines()
    {
        static std::vector<std::string> captured;
        return captured;
    }

    CLogger m_logger;
};

}  // namespace vxtest
