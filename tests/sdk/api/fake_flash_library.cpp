// A flash library for the firmware tests: the exports and the tool's table
// of four operations, steered through FakeFlashControlBlock. Built twice:
// once whole, once without "DestroyFlashTool" (VX_FAKE_FLASH_NO_DESTROY).
#include "FakeFlashLibrary.h"

#include "platform/text.h"
#include "platform/time.h"

#include <cstring>

namespace {

// Lives as long as the library stays loaded (the tests keep it loaded).
FakeFlashControl& control()
{
    static FakeFlashControl block;
    return block;
}

// A text as the library's file system would see it (UTF-8).
std::string narrow(const char16_t* text, std::size_t limit = SIZE_MAX)
{
    std::u16string units;
    for (std::size_t i = 0; text != nullptr && i < limit && text[i] != 0; ++i)
        units.push_back(text[i]);
    return platform::utf8FromUtf16ForDisplay(units);
}

// The tool: the same four virtual operations in the same slots as the
// library's own.
class FakeTool {
public:
    virtual CONST_UPGRADERETURN FlashScanner(void* caller, const char16_t* path)
    {
        FakeFlashControl& c = control();
        c.record("FlashScanner " + narrow(path));
        if (c.flashUntilCancelled) {
            c.flashing = true;
            for (std::int32_t done = 0; m_cancel.load() == 0; done = (done + 1) % 1000) {
                if (m_callback != nullptr)
                    m_callback(caller, 0, done, 1000);
                Sleep(1);
            }
            c.flashing = false;
            return CUR_CANCELED;
        }
        if (m_callback != nullptr)
            for (std::int32_t done : {0, 50, 100})
                m_callback(caller, 0, done, 100);
        return static_cast<CONST_UPGRADERETURN>(c.flashResult.load());
    }
    virtual CONST_GETSET_RETURN GetFileVersion(const char16_t* path, fileversion_type* version)
    {
        control().record("GetFileVersion " + narrow(path));
        if (path == nullptr || version == nullptr)
            return CGSRET_INVALID;
        std::memset(version, 0, sizeof *version);
        std::strcpy(version->appVersion, "FAKE-APP");
        return CGSRET_SUCCESS;
    }
    virtual CONST_GETSET_RETURN SetSetting(CONST_FLASHTOOL_SETTING id, void* data, std::uint32_t size)
    {
        FakeFlashControl& c = control();
        std::string value;
        switch (id) {
        case CFS_CANCELIO: value = std::to_string(*static_cast<std::int32_t*>(data)); break;
        case CFS_FWCALLBACK: value = size == 4 ? "callback" : "bad size"; break;
        case CFS_LOGGING: {
            log_settings settings;
            std::memcpy(&settings, data, sizeof settings);
            value = std::to_string(settings.target) + "," + narrow(settings.fileName) + "," +
                    std::to_string(settings.level) + " size " + std::to_string(size);
            break;
        }
        case CFS_PORTFILENAME:
        case CFS_FLASH_PROTOCOL_SETTINGS:
            value = narrow(static_cast<const char16_t*>(data), size / 2) + " size " + std::to_string(size);
            break;
        case CFS_INTERFACE: value = std::to_string(*static_cast<std::int32_t*>(data)); break;
        case CFS_WIN32_232_SETTINGS:
            value = std::to_string(static_cast<const win_rs232_settings*>(data)->dcb.BaudRate) + " size " +
                    std::to_string(size);
            break;
        default: value = "size " + std::to_string(size); break;
        }
        c.record("Set " + std::to_string(id) + " " + value);
        if (id == c.refusedSetting.load())
            return static_cast<CONST_GETSET_RETURN>(c.refusal.load());
        if (id == CFS_CANCELIO)
            m_cancel = *static_cast<std::int32_t*>(data);
        if (id == CFS_FWCALLBACK)
            m_callback = reinterpret_cast<CFS_PROGRESS_CALLBACK>(data);
        return CGSRET_SUCCESS;
    }
    virtual CONST_GETSET_RETURN GetSetting(CONST_FLASHTOOL_SETTING id, void* data, std::uint32_t size)
    {
        FakeFlashControl& c = control();
        c.record("Get " + std::to_string(id));
        if (id == c.refusedSetting.load())
            return static_cast<CONST_GETSET_RETURN>(c.refusal.load());
        auto* out = static_cast<char16_t*>(data);
        const std::size_t units = size / 2;
        if (id == CFS_VERSION) {
            if (c.versionFillsBuffer) {
                for (std::size_t i = 0; i < units; ++i)
                    out[i] = u'V';
                return CGSRET_SUCCESS;
            }
            std::u16string version(kFakeFlashVersion);
            std::memcpy(out, version.c_str(), (version.size() + 1) * 2);
            return CGSRET_SUCCESS;
        }
        if (id == CFS_FLASH_INITSTRING) {
            std::lock_guard<std::mutex> lock(c.mutex);
            std::u16string list(c.initString.begin(), c.initString.end());
            if (!list.empty())
                list.push_back(0);
            list.push_back(0);
            if (list.size() > units)
                return CGSRET_INVALID;
            std::memcpy(out, list.data(), list.size() * 2);
            return CGSRET_SUCCESS;
        }
        return CGSRET_UNSUPPORTED;
    }
    virtual ~FakeTool() = default;

private:
    std::atomic<std::int32_t> m_cancel{0};
    CFS_PROGRESS_CALLBACK m_callback = nullptr;
};

}  // namespace

extern "C" {

__attribute__((visibility("default"))) FakeFlashControl* FakeFlashControlBlock()
{
    return &control();
}

__attribute__((visibility("default"))) CFlashTool* CreateFlashTool()
{
    FakeFlashControl& c = control();
    c.record("Create");
    if (c.createNull)
        return nullptr;
    ++c.toolsAlive;
    return reinterpret_cast<CFlashTool*>(new FakeTool);
}

#if !defined(VX_FAKE_FLASH_NO_DESTROY)
__attribute__((visibility("default"))) void DestroyFlashTool(CFlashTool* tool)
{
    if (tool == nullptr)
        return;
    FakeFlashControl& c = control();
    c.record("Destroy");
    --c.toolsAlive;
    delete reinterpret_cast<FakeTool*>(tool);
}
#endif
}
