// The private-profile reader: the first line of the input names the
// section and key ("section=key"), the rest is the file's text.
#include "platform/profile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t lineEnd = input.find('\n');
    const std::string first = input.substr(0, lineEnd);
    const std::string text = lineEnd == std::string::npos ? std::string() : input.substr(lineEnd + 1);
    const std::size_t equals = first.find('=');
    const std::string section = first.substr(0, equals);
    const std::string key = equals == std::string::npos ? std::string() : first.substr(equals + 1);
    std::string value;
    if (platform::findProfileValue(text, section, key, &value)) {
        // A value comes from one line of the text.
        if (value.size() > text.size() || value.find('\n') != std::string::npos)
            std::abort();
    }
    return 0;
}
