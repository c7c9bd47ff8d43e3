// The language module: the program's texts, a French strings file over
// them with a fallback per id, and the choice by the user's language.
#include "LanguageManager.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

class LanguageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        unsetenv("LC_ALL");
        unsetenv("LC_MESSAGES");
        language().ResetForTesting();
        language().SetProgramStrings({{32790, "-- Select --"}, {32809, "Improper value set"}, {32908, "True"}});
        std::filesystem::remove("TillSetupFrench.strings");
    }
    void TearDown() override { std::filesystem::remove("TillSetupFrench.strings"); }
    static CLanguageManager& language() { return CLanguageManager::GetInstance(); }
};

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

TEST_F(LanguageTest, APartialFrenchFileFallsBackPerIdAndAnUnknownIdIsEmpty)
{
    setenv("LANG", "fr_FR.UTF-8", 1);
    writeFile("TillSetupFrench.strings", "32790\t-- S\xC3\xA9lectionner --\n32908\tVrai\\tx\\\\y\\nz\r\n");
    EXPECT_TRUE(language().ChooseUserLanguage("TillSetupFrench.strings", "TillSetupFrenchDll"));
    EXPECT_TRUE(language().IsLanguageLoaded());
    EXPECT_EQ(language().CurrentName(), "TillSetupFrenchDll");
    EXPECT_EQ(language().GetString(32790), "-- S\xC3\xA9lectionner --");
    EXPECT_EQ(language().GetString(32908), "Vrai\tx\\y\nz");
    EXPECT_EQ(language().GetString(32809), "Improper value set");
    EXPECT_EQ(language().GetString(1), "");
}

TEST_F(LanguageTest, FrenchWithoutAFileGivesEnglishAndOtherLanguagesFreeTheFile)
{
    setenv("LANG", "fr_FR.UTF-8", 1);
    EXPECT_TRUE(language().ChooseUserLanguage("TillSetupFrench.strings", "TillSetupFrenchDll"));
    EXPECT_FALSE(language().IsLanguageLoaded());
    EXPECT_EQ(language().CurrentName(), "check");
    EXPECT_EQ(language().GetString(32790), "-- Select --");

    writeFile("TillSetupFrench.strings", "32790\tChoisir\n");
    language().ChooseUserLanguage("TillSetupFrench.strings", "TillSetupFrenchDll");
    EXPECT_EQ(language().GetString(32790), "Choisir");
    for (const char* locale : {"fr_CA.UTF-8", "en_US.UTF-8", "C"}) {
        setenv("LANG", locale, 1);
        language().ChooseUserLanguage("TillSetupFrench.strings", "TillSetupFrenchDll");
        language().ChooseUserLanguage("TillSetupFrench.strings", "TillSetupFrenchDll");
        EXPECT_FALSE(language().IsLanguageLoaded()) << locale;
        EXPECT_EQ(language().GetString(32790), "-- Select --") << locale;
    }
    EXPECT_EQ(language().FreeLanguageDll(), 0);
}

TEST_F(LanguageTest, TheStringsReaderSkipsBadLinesAndKeepsTheFirstOfAnId)
{
    const auto table = CLanguageManager::ParseStrings("\xEF\xBB\xBF" "1\tone\n"
                                                      "no tab here\n"
                                                      "x2\tnot a number\n"
                                                      "\tno id\n"
                                                      "70000\ttoo big\n"
                                                      "1\tsecond one\n"
                                                      "3\tkeeps \\q and ends in \\");
    EXPECT_EQ(table, (CLanguageManager::StringTable{{1, "one"}, {3, "keeps \\q and ends in \\"}}));
}

TEST_F(LanguageTest, TextsAreCutTo1023BytesOnACharacterBoundary)
{
    std::string longText(1022, 'a');
    longText += "\xC3\xA9\xC3\xA9";
    language().SetProgramStrings({{5, longText}, {6, std::string(2000, 'b')}});
    EXPECT_EQ(language().GetString(5), std::string(1022, 'a'));
    EXPECT_EQ(language().GetString(6), std::string(1023, 'b'));
}
