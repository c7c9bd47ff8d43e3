// How scanned labels and device replies are shown: control bytes spelled
// out by name, a real line break after a CR ... LF pair.
#include "ControlCharacters.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

struct SpellingCase {
    const char* name;
    std::string label;
    std::string shown;
};

class LabelSpelling : public ::testing::TestWithParam<SpellingCase> {};

TEST_P(LabelSpelling, ShowsControlBytesByName)
{
    EXPECT_EQ(NameControlCharacters(GetParam().label), GetParam().shown);
}

const SpellingCase kSpellingCases[] = {
    {"CrLfEndsALine", "A\r\nB", "A[CR][LF]\nB"},
    {"LoneLfGetsNoBreak", "A\nB", "A[LF]B"},
    {"LfAfterCrWithTextBetween", "\rx\n", "[CR]x[LF]\n"},
    {"CrIsUsedUpByOneLf", "\r\n\n", "[CR][LF]\n[LF]"},
    {"LfBeforeCrGetsNoBreak", "\n\r", "[LF][CR]"},
    {"TwoCrsOneBreak", "\r\r\n", "[CR][CR][LF]\n"},
    {"TabKept", "a\tb", "a\tb"},
    {"DataLinkEscapeSpelledWithF", "\x10", "[DLF]"},
    {"NulInsideTheLabel", "1\0002"s, "1[NUL]2"},
    {"HighBytesKept", "\x80\xE9\xFF", "\x80\xE9\xFF"},
    {"PrintableUnchanged", "[Error] 0123 ~", "[Error] 0123 ~"},
    {"Empty", "", ""},
    {"EveryControlByte", "\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F"
                         "\x10\x11\x12\x13\x14\x15\x16\x17\x18\x19\x1A\x1B\x1C\x1D\x1E\x1F"s,
     "[NUL][SOH][STX][ETX][EOT][ENQ][ACK][BEL][BS]\t[LF][VT][FF][CR][SO][SI]"
     "[DLF][DC1][DC2][DC3][DC4][NAK][SYN][ETB][CAN][EM][SUB][ESC][FS][GS][RS][US]"},
};

INSTANTIATE_TEST_SUITE_P(Labels, LabelSpelling, ::testing::ValuesIn(kSpellingCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
