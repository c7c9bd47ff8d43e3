#include "CLogger.h"

#include "CScanningSDK.h"
#include "CScopedLock.h"

#include "platform/sync.h"
#include "platform/thread.h"

#include <cctype>
#include <filesystem>
#include <map>
#include <utility>

namespace {

const char* const kConsoleKey = "--QZT--KDR--CONSOLE--";
const char* const kDebugViewKey = "--QZT--KDR--DEBUGVIEW--";
const char* const kCustomizeKeyPrefix = "--QZT--KDR--CUSTOMIZE--";

// The name-to-output registry. Its lock lives as long as the process (it is
// made once, thread-safely, on first use), so that a factory call that races
// with releaseOutputs never meets a deleted lock; the map itself is made on
// first use and freed by releaseOutputs.
struct OutputRegistry {
    CRITICAL_SECTION lock;
    std::map<std::string, CLogOutput*>* outputs = nullptr;
    unsigned customizeCounter = 0;  // grows by one per callback logger
};

OutputRegistry& registry()
{
    static OutputRegistry* const instance = [] {
        auto* made = new OutputRegistry;
        InitializeCriticalSection(&made->lock);
        return made;
    }();
    return *instance;
}

std::map<std::string, CLogOutput*>& outputMap(OutputRegistry& reg)
{
    if (reg.outputs == nullptr) {
        reg.outputs = new std::map<std::string, CLogOutput*>;
    }
    return *reg.outputs;
}

// The path a file logger opens: the file name lower-cased, its folders as
// given (lower-casing them could name a folder that does not exist), made
// absolute so that one file has one key whatever the current folder.
std::string logFilePath(const std::string& fileName)
{
    std::filesystem::path path;
    if (fileName.empty()) {
        path = CLogFile::kDefaultFileName;
    } else {
        path = fileName;
        std::string name = path.filename().string();
        for (char& c : name) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        path.replace_filename(name);
    }
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (!error) {
        path = absolute.lexically_normal();
    }
    return path.string();
}

// Registers `make()` under `key` unless an output is registered there, and
// answers a logger on the registered output.
template <typename Make>
CLogger loggerOnSharedOutput(const std::string& key, Make make)
{
    OutputRegistry& reg = registry();
    CScopedLock lock(&reg.lock);
    auto& outputs = outputMap(reg);
    auto found = outputs.find(key);
    if (found != outputs.end()) {
        return CLogger(found->second);
    }
    CLogOutput* output = make();
    if (output == nullptr) {
        return CLogger(nullptr);
    }
    outputs.emplace(key, output);
    return CLogger(output);
}

}  // namespace

CLogger::CLogger(CLogOutput* output)
    : m_output(output)
{
}

CLogger::CLogger(const CLogger& other)
    : m_mask(other.getMask())
    , m_output(other.getOutput())
{
}

CLogger& CLogger::operator=(const CLogger& other)
{
    setMask(other.getMask());
    m_output.store(other.getOutput(), std::memory_order_release);
    return *this;
}

CLogger::~CLogger() = default;

std::string CLogger::formatLine(const SYSTEMTIME& time, DWORD threadId, int level, const std::string& message)
{
    std::string line;
    line.reserve(48 + message.size());
    line += std::to_string(time.wMonth);
    line += '/';
    line += std::to_string(time.wDay);
    line += '/';
    line += std::to_string(time.wYear);
    line += ' ';
    line += std::to_string(time.wHour);
    line += ':';
    line += std::to_string(time.wMinute);
    line += ':';
    line += std::to_string(time.wSecond);
    line += '.';
    line += std::to_string(time.wMilliseconds);
    line += ",tid: ";
    line += std::to_string(threadId);
    line += ',';
    line += std::to_string(level);
    line += ',';
    line += message;
    return line;
}

bool CLogger::log(std::string message, int level)
{
    CLogOutput* output = getOutput();
    if (output == nullptr) {
        return false;
    }
    if (!isEnabled(level)) {
        return true;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    return output->write(formatLine(now, GetCurrentThreadId(), level, message));
}

CLogger CLogger::createFileLogger(std::string fileName)
{
    const std::string path = logFilePath(fileName);
    return loggerOnSharedOutput(path, [&path]() -> CLogOutput* {
        auto* file = new CLogFile(path);
        if (!file->isOpened()) {
            delete file;
            return nullptr;
        }
        return file;
    });
}

CLogger CLogger::createConsoleLogger()
{
    return loggerOnSharedOutput(kConsoleKey, [] { return new CLogConsole; });
}

CLogger CLogger::createDebugViewLogger()
{
    return loggerOnSharedOutput(kDebugViewKey, [] { return new CLogDebugView; });
}

CLogger CLogger::createCustomizeLogger(int userValue, LogCustomizeCallback callback)
{
    OutputRegistry& reg = registry();
    CScopedLock lock(&reg.lock);
    const std::string key = kCustomizeKeyPrefix + std::to_string(reg.customizeCounter++);
    auto* output = new CLogCustomize(userValue, callback);
    outputMap(reg)[key] = output;
    return CLogger(output);
}

void CLogger::releaseOutputs()
{
    OutputRegistry& reg = registry();
    {
        CScopedLock lock(&reg.lock);
        if (reg.outputs != nullptr) {
            for (auto& entry : *reg.outputs) {
                delete entry.second;
                entry.second = nullptr;
            }
            delete reg.outputs;
            reg.outputs = nullptr;
        }
    }
    // Every SDK log call may end up at the default logger: it must not keep
    // pointing at an output that no longer exists.
    CScanningSDK::defaultLogger().m_output.store(nullptr, std::memory_order_release);
}

void CLogger::cleanup()
{
    releaseOutputs();
}

std::vector<std::string> CLogger::outputKeys()
{
    OutputRegistry& reg = registry();
    CScopedLock lock(&reg.lock);
    std::vector<std::string> keys;
    if (reg.outputs != nullptr) {
        for (const auto& entry : *reg.outputs) {
            keys.push_back(entry.first);
        }
    }
    return keys;
}
