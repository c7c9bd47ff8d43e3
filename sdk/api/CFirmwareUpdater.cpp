#include "api/CFirmwareUpdater.h"

#include "api/CConnection.h"
#include "api/CFirmwareUpdaterHelper.h"

#include "base/CLogHelper.h"
#include "base/CScanningSDK.h"
#include "base/CScopedLock.h"
#include "base/StringUtils.h"

namespace {
const char* const kNotInitialized = "FirmwareUpdater not initialized!";
const char* const kNoProcess = "null helper or flash process pointer!";
}  // namespace

CFirmwareUpdater::CFirmwareUpdater()
{
    CLogHelper scope("CFirmwareUpdater::CFirmwareUpdater");
    m_lock = new CCriticalSectionHolder();
    m_helper = new CFirmwareUpdaterHelper();
}

CFirmwareUpdater::~CFirmwareUpdater()
{
    CLogHelper scope("CFirmwareUpdater::~CFirmwareUpdater");
    try {
        m_initialized = false;
        delete m_helper;
        m_helper = nullptr;
        delete m_lock;
        m_lock = nullptr;
    } catch (...) {
        SDK_LOG(logbit::internal, "CFirmwareUpdater::~CFirmwareUpdater",
                "unknown error when de construct firmware updater!");
    }
}

void CFirmwareUpdater::setLastError(const std::string& text)
{
    std::lock_guard<std::mutex> guard(m_lastErrorLock);
    m_lastError = text;
}

int CFirmwareUpdater::getLastError(std::string& text)
{
    std::lock_guard<std::mutex> guard(m_lastErrorLock);
    text = m_lastError;
    return 0;
}

int CFirmwareUpdater::fail(const char* method, const std::string& text, int code, int bit)
{
    setLastError(text);
    SDK_LOG(bit, method, text);
    return code;
}

int CFirmwareUpdater::failWithWorkerText(const char* method, int code)
{
    std::string text;
    m_helper->getLastError(text);
    return fail(method, text, code, logbit::error);
}

int CFirmwareUpdater::intialize(CConnection* connection, CFirmwareUpdaterTemplate updaterTemplate)
{
    static const char* const kMethod = "CFirmwareUpdater::intialize";
    CLogHelper scope(kMethod);
    setLastError("intialize successful!");
    m_initialized = false;
    if (connection == nullptr || !connection->isConnected() || !connection->isExclusive())
        return fail(kMethod, "invalid CConnection paramter!", 1, logbit::error);
    // The handle copy is what the worker points at: it changes only under
    // the lock, never under a running update.
    CScopedLock lock(m_lock != nullptr ? m_lock->get() : nullptr);
    m_connectionHandle = connection->getHandle();
    const int result = intialize(connection->getDevice(), &m_connectionHandle, updaterTemplate);
    if (m_helper != nullptr)
        m_helper->setConnection(connection);
    return result;
}

int CFirmwareUpdater::intialize(CDevice* device, HANDLE* handle, CFirmwareUpdaterTemplate updaterTemplate)
{
    static const char* const kMethod = "CFirmwareUpdater::intialize";
    CLogHelper scope(kMethod);
    setLastError("intialize successful!");
    m_initialized = false;
    if (m_helper == nullptr)
        return fail(kMethod, "null firmware update helper pointer!", 1, logbit::internal);
    CScopedLock lock(m_lock->get());
    const int result = m_helper->initializeForUpdater(device, handle, updaterTemplate);
    if (result != 0)
        return failWithWorkerText(kMethod, result);
    m_initialized = true;
    return 0;
}

int CFirmwareUpdater::flashFirmware(void* user, std::string firmwareFile)
{
    static const char* const kMethod = "CFirmwareUpdater::flashFirmware";
    CLogHelper scope(kMethod);
    setLastError("flashFirmware successful!");
    if (!m_initialized)
        return fail(kMethod, kNotInitialized, 5, logbit::error);
    if (m_helper == nullptr)
        return fail(kMethod, "the helper pointer is null!", 1, logbit::internal);
    CScopedLock lock(m_lock->get());
    const int result = m_helper->flashForUpdater(user, firmwareFile);
    return result == 0 ? 0 : failWithWorkerText(kMethod, result);
}

int CFirmwareUpdater::cancelFlash()
{
    static const char* const kMethod = "CFirmwareUpdater::cancelFlash";
    CLogHelper scope(kMethod);
    setLastError("cancelFlash successful!");
    if (!m_initialized)
        return fail(kMethod, kNotInitialized, 5, logbit::error);
    CFlashProcess* process = m_helper != nullptr ? m_helper->getFlashProcess() : nullptr;
    if (process == nullptr)
        return fail(kMethod, "null flash process pointer!", 1, logbit::error);
    if (process->setCancelIO(1))
        return 0;
    std::string text;
    process->getLastError(text);
    return fail(kMethod, text, 1, logbit::error);
}

int CFirmwareUpdater::getDllVersion(std::string& version)
{
    static const char* const kMethod = "CFirmwareUpdater::getDllVersion";
    CLogHelper scope(kMethod);
    setLastError("getDllVersion successful!");
    if (!m_initialized)
        return fail(kMethod, kNotInitialized, 5, logbit::error);
    CScopedLock lock(m_lock != nullptr ? m_lock->get() : nullptr);
    CFlashProcess* process = m_helper != nullptr ? m_helper->getFlashProcess() : nullptr;
    if (process == nullptr)
        return fail(kMethod, kNoProcess, 1, logbit::error);
    std::wstring wide;
    if (!process->getVersion(wide)) {
        std::string text;
        process->getLastError(text);
        return fail(kMethod, text, 1, logbit::error);
    }
    version = wstringToString(wide);
    return 0;
}

int CFirmwareUpdater::getFileVersion(std::string firmwareFile, fileversion_type* version)
{
    static const char* const kMethod = "CFirmwareUpdater::getFileVersion";
    CLogHelper scope(kMethod);
    setLastError("getFileVersion successful!");
    if (!m_initialized)
        return fail(kMethod, kNotInitialized, 5, logbit::error);
    CScopedLock lock(m_lock != nullptr ? m_lock->get() : nullptr);
    CFlashProcess* process = m_helper != nullptr ? m_helper->getFlashProcess() : nullptr;
    if (process == nullptr)
        return fail(kMethod, kNoProcess, 1, logbit::error);
    if (!process->GetFileVersion(stringToWString(firmwareFile), version)) {
        std::string text;
        process->getLastError(text);
        return fail(kMethod, text, 3, logbit::error);
    }
    return 0;
}

int CFirmwareUpdater::unInitialize()
{
    m_initialized = false;
    return 0;
}
