// Device reply text ("key: value" lines ended by CR LF) into a map.
#include "base/StringUtils.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto pairs = parseKeyValueText(text);
    for (const auto& [key, value] : pairs) {
        // A key ends at the first colon of its line; no pair spans a line end.
        if (key.find(':') != std::string::npos || key.find("\r\n") != std::string::npos
            || value.find("\r\n") != std::string::npos || key.size() + value.size() >= size) {
            std::abort();
        }
    }
    if (text.find("\r\n") == std::string::npos && !pairs.empty()) {
        std::abort();
    }
    return 0;
}
