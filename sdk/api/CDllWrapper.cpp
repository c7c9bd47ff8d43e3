#include "api/CDllWrapper.h"

#include "base/CScanningSDK.h"
#include "base/StringUtils.h"

namespace {

const char* const kNotLoaded = "Flash Dll is not loaded.";

// Calls slot `Slot` of the tool's table of virtual operations. The tool's
// class is final in its header, so an ordinary member call could be bound
// at compile time to code this side does not have.
template <std::size_t Slot, typename Result, typename... Args>
Result callSlot(CFlashTool* tool, Args... args)
{
    using Entry = Result (*)(CFlashTool*, Args...);
    void* const* table = *reinterpret_cast<void* const* const*>(tool);
    return reinterpret_cast<Entry>(table[Slot])(tool, args...);
}

}  // namespace

CDllWrapper::~CDllWrapper()
{
    release();
}

void CDllWrapper::setLastError(const std::string& text)
{
    std::lock_guard<std::mutex> guard(m_lastErrorLock);
    m_lastError = text;
}

bool CDllWrapper::getLastError(std::string& text)
{
    std::lock_guard<std::mutex> guard(m_lastErrorLock);
    text = m_lastError;
    return true;
}

bool CDllWrapper::setVxFlashDllFile(const std::wstring& path)
{
    release();
    HMODULE module = LoadLibraryW(path.c_str());
    FlashLibraryBinding binding;
    if (module != nullptr) {
        binding.create = reinterpret_cast<PFN_CreateFlashTool>(GetProcAddress(module, "CreateFlashTool"));
        binding.destroy = reinterpret_cast<PFN_DestroyFlashTool>(GetProcAddress(module, "DestroyFlashTool"));
        // A tool is only made when it can also be destroyed.
        if (binding.create != nullptr && binding.destroy != nullptr)
            binding.tool = binding.create();
    }
    if (binding.tool == nullptr) {
        if (module != nullptr)
            FreeLibrary(module);
        const std::string text = "Can't not load library: " + wstringToString(path);
        setLastError(text);
        SDK_LOG(logbit::error, "CDllWrapper::setVxFlashDllFile", text);
        return false;
    }
    m_module = module;
    m_binding = binding;
    m_loaded = true;
    return true;
}

bool CDllWrapper::isDllLoaded()
{
    if (m_loaded && m_binding.tool != nullptr)
        return true;
    setLastError(kNotLoaded);
    SDK_LOG(logbit::error, "CDllWrapper::isDllLoaded", kNotLoaded);
    return false;
}

const FlashLibraryBinding* CDllWrapper::getDllFunction()
{
    return isDllLoaded() ? &m_binding : nullptr;
}

void CDllWrapper::release()
{
    if (m_binding.tool != nullptr && m_binding.destroy != nullptr)
        m_binding.destroy(m_binding.tool);
    if (m_module != nullptr)
        FreeLibrary(m_module);
    m_module = nullptr;
    m_binding = FlashLibraryBinding();
    m_loaded = false;
    setLastError(std::string());
}

CONST_UPGRADERETURN CDllWrapper::flashScanner(void* user, const char16_t* file)
{
    return callSlot<0, CONST_UPGRADERETURN>(m_binding.tool, user, file);
}

CONST_GETSET_RETURN CDllWrapper::getFileVersion(const char16_t* file, fileversion_type* version)
{
    return callSlot<1, CONST_GETSET_RETURN>(m_binding.tool, file, version);
}

CONST_GETSET_RETURN CDllWrapper::setSetting(CONST_FLASHTOOL_SETTING id, void* data, std::uint32_t size)
{
    return callSlot<2, CONST_GETSET_RETURN>(m_binding.tool, id, data, size);
}

CONST_GETSET_RETURN CDllWrapper::getSetting(CONST_FLASHTOOL_SETTING id, void* data, std::uint32_t size)
{
    return callSlot<3, CONST_GETSET_RETURN>(m_binding.tool, id, data, size);
}
