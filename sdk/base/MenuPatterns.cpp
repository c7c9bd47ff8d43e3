#include "MenuPatterns.h"

namespace {

constexpr char kAck = 0x06;
constexpr char kNak = 0x15;
constexpr char kEnq = 0x05;

}  // namespace

const std::vector<std::string>& defaultMenuPatterns()
{
    static const std::vector<std::string> patterns = [] {
        std::vector<std::string> list;
        for (char status : {kAck, kNak, kEnq}) {
            for (char mark : {'@', '!', '.'}) {
                list.push_back(std::string{status, mark});
            }
        }
        return list;
    }();
    return patterns;
}

namespace {
[[maybe_unused]] const bool g_patternsBuilt = !defaultMenuPatterns().empty();
}  // namespace
