#include "CLogRepeats.h"

#include "CScanningSDK.h"

#include <algorithm>
#include <iterator>

void CLogRepeats::failed(int bit, const char* method, const std::string& text)
{
    {
        std::lock_guard lock(m_mutex);
        for (Run& run : m_runs) {
            if (run.method == method && run.text == text) {
                ++run.count;
                return;
            }
        }
        m_runs.push_back(Run{bit, method, text, 1});
        m_running.store(true);
    }
    SDK_LOG(bit, method, text);
}

void CLogRepeats::succeeded(const char* method)
{
    logEnded(take(method));
}

void CLogRepeats::end()
{
    logEnded(take(nullptr));
}

std::vector<CLogRepeats::Run> CLogRepeats::take(const char* method)
{
    std::vector<Run> taken;
    if (!m_running.load())
        return taken;
    std::lock_guard lock(m_mutex);
    const auto ends = [&](const Run& run) { return method == nullptr || run.method == method; };
    std::copy_if(m_runs.begin(), m_runs.end(), std::back_inserter(taken), ends);
    m_runs.erase(std::remove_if(m_runs.begin(), m_runs.end(), ends), m_runs.end());
    m_running.store(!m_runs.empty());
    return taken;
}

void CLogRepeats::logEnded(const std::vector<Run>& runs)
{
    for (const Run& run : runs) {
        if (run.count > 1)
            SDK_LOG(run.bit, run.method, run.text + " " + std::to_string(run.count) + " times in a row.");
    }
}
