// The results-file reader.
#include "IniFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

TEST(IniFile, MissingFileSectionOrKeyGiveTheDefaultAndLongValuesAreCut)
{
    std::filesystem::remove("resultsProperty.ini");  // as another test may have left it
    CIniFile ini("resultsProperty.ini", 1224);
    std::string out;
    ini.Read("ResultCode", "107", out, "107");
    EXPECT_EQ(out, "107");
    std::ofstream("resultsProperty.ini") << "[ResultCode]\n106=Illegal\nlong=" << std::string(1300, 'w') << "\n";
    ini.Read("ResultCode", "106", out, "106");
    EXPECT_EQ(out, "Illegal");
    ini.Read("ResultCode", "107", out, "107");
    EXPECT_EQ(out, "107");
    ini.Read("TimeOut", "time", out, "10");
    EXPECT_EQ(out, "10");
    ini.Read("ResultCode", "long", out, "");
    EXPECT_EQ(out, std::string(1223, 'w'));
    ini.SetPath("elsewhere.ini");
    ini.Read("ResultCode", "106", out, "106");
    EXPECT_EQ(out, "106");
    std::filesystem::remove("resultsProperty.ini");
}
