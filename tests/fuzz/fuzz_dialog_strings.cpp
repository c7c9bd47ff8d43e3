// The dialog programs' translated strings file ("id<TAB>text" lines).
#include "LanguageManager.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto table = CLanguageManager::ParseStrings(text);
    std::size_t total = 0;
    for (const auto& [id, value] : table) {
        // Ids fit the table; a text never holds a line break the file had
        // (only its escape), and unescaping never makes a text longer.
        if (id > 65535)
            std::abort();
        total += value.size();
    }
    if (total > size)
        std::abort();
    CLanguageManager& language = CLanguageManager::GetInstance();
    language.SetProgramStrings(table);
    for (const auto& [id, value] : table)
        if (language.GetString(id).size() > 1023)
            std::abort();
    return 0;
}
