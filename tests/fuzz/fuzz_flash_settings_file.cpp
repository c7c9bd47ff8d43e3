// The protocol-settings file read through a tool, and its string decoder.
#include "ProtocolSettingsFile.h"
#include "include/VXFLASH02.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    char16_t out[501];
    DecodeStringValue(text, out, 500);
    const std::string path = "fuzz_flash_settings.txt";
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }
    CFlashTool* tool = CreateFlashTool();
    const std::u16string widePath(path.begin(), path.end());
    tool->SetSetting(CFS_FLASH_PROTOCOL_SETTINGS, const_cast<char16_t*>(widePath.c_str()), 4);
    DestroyFlashTool(tool);
    std::remove(path.c_str());
    return 0;
}
