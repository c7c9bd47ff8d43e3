// Firmware files: SHA-1, the MOCF container's checks, the HEX readers and
// the images the library extracts, and the files FlashScanner refuses with
// CUR_FILEBAD before it opens any port.
#include "FirmwareImage.h"
#include "FlashFixtures.h"
#include "MyPrivateParams.h"
#include "ScannerCommands.h"
#include "TestSupport.h"
#include "include/VXFLASH02.h"
#include "shared/MocfParser.h"
#include "shared/sha1/Sha1.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

using namespace flashfix;

std::vector<std::uint8_t> flashfix::sha1(const std::vector<std::uint8_t>& data)
{
    CSha1 hash;
    std::vector<std::uint8_t> digest(20);
    hash.Compute(data.data(), data.size(), digest.data());
    return digest;
}

namespace {

std::string hexOf(const std::vector<std::uint8_t>& bytes)
{
    std::string out;
    char piece[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(piece, sizeof piece, "%02x", b);
        out += piece;
    }
    return out;
}

// The first offset where two images differ, or -1.
long firstDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b)
{
    if (a.size() != b.size())
        return static_cast<long>(std::min(a.size(), b.size()));
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i])
            return static_cast<long>(i);
    return -1;
}

std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

TEST(Sha1, KnownAnswers)
{
    EXPECT_EQ(hexOf(flashfix::sha1(bytesOf("abc"))), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(hexOf(flashfix::sha1(bytesOf(""))), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(hexOf(flashfix::sha1(bytesOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"))),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    CSha1 hash;
    std::uint8_t digest[20];
    ASSERT_TRUE(hash.Input(reinterpret_cast<const std::uint8_t*>("ab"), 2));
    ASSERT_TRUE(hash.Result(digest));
    EXPECT_FALSE(hash.Input(reinterpret_cast<const std::uint8_t*>("c"), 1)) << "input after the result is refused";
    EXPECT_FALSE(hash.Input(nullptr, 3));
}

std::vector<std::uint8_t> smallContainer(bool digest = true)
{
    return container({{2, compatValue({0x11, 0x17})}, {0x0B000000, textBytes("boot")}, {0x0B000001, textBytes("app!x")}},
                     digest);
}

TEST(MocfContainer, ValidationCases)
{
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        bool valid;
    };
    std::vector<Case> cases;
    cases.push_back({"with digest", smallContainer(), true});
    cases.push_back({"without digest", smallContainer(false), true});
    {
        auto c = smallContainer();
        c[8 + 8 + 4 + 8] ^= 1;  // a byte of the digest itself
        cases.push_back({"bad digest", c, false});
    }
    {
        auto c = smallContainer();
        c[c.size() - 1] ^= 0x5A;  // a padding byte of the last record
        cases.push_back({"padding changed", c, false});
    }
    {
        auto c = smallContainer();
        c[8 + 8 + 4] = 7;  // the digest record's tag becomes 7
        cases.push_back({"digest record renamed", c, true});
    }
    {
        auto c = smallContainer(false);
        c.resize(c.size() - 6);
        cases.push_back({"truncated record", c, false});
    }
    {
        auto c = smallContainer(false);
        c[4] += 64;  // outer length past the end of the file
        cases.push_back({"outer length past the file", c, false});
    }
    {
        auto c = smallContainer(false);
        const std::size_t last = c.size() - 8;  // "app!x" record: value 5 + pad 3
        c[last - 4] = 0xFF;                        // its length becomes huge
        c[last - 3] = 0xFF;
        c[last - 2] = 0xFF;
        c[last - 1] = 0x7F;
        cases.push_back({"record past the end", c, false});
    }
    cases.push_back({"compat count 3 length 12",
                     container({{2, [] { auto v = compatValue({1, 2, 3}); v.resize(12); return v; }()}}), false});
    cases.push_back({"compat count 3 length 16", container({{2, compatValue({1, 2, 3})}}), true});
    {
        auto c = smallContainer(false);
        c[0] = 'X';
        cases.push_back({"wrong outer tag", c, false});
    }
    cases.push_back({"empty", {}, false});
    {
        // A count so large that 4 x count + 4 overflows 32 bits.
        std::vector<std::uint8_t> v;
        putLe32(v, 0x40000000u);
        cases.push_back({"compat count overflow", container({{2, v}}), false});
    }
    for (const Case& c : cases)
        EXPECT_EQ(MocfIsValid(c.bytes), c.valid) << c.name;
}

TEST(MocfContainer, ImageKindAndCompatibilityTable)
{
    struct Case {
        const char* name;
        std::vector<Record> records;
        std::uint32_t kind;
    };
    const std::vector<Case> cases = {
        {"boot only", {{0x0B000000, textBytes("b")}}, IMAGE_KIND_BOOT},
        {"app only", {{0x0B000001, textBytes("a")}}, IMAGE_KIND_APP},
        {"both", {{0x0B000000, textBytes("b")}, {0x0B000001, textBytes("a")}}, IMAGE_KIND_BOTH},
        // Decided: an application placed before the boot object makes the
        // file an application, not a package, and the boot object after it
        // does not turn it into a boot file either.
        {"app before boot", {{0x0B000001, textBytes("a")}, {0x0B000000, textBytes("b")}}, IMAGE_KIND_APP},
        {"boot, app, boot", {{0x0B000000, textBytes("b")}, {0x0B000001, textBytes("a")}, {0x0B000000, textBytes("b")}},
         IMAGE_KIND_BOTH},
        {"empty record hides the app", {{0x0B000000, textBytes("b")}, {9, {}}, {0x0B000001, textBytes("a")}},
         IMAGE_KIND_BOOT},
        {"nothing", {{9, textBytes("x")}}, IMAGE_KIND_NONE},
    };
    for (const Case& c : cases) {
        ClearFileCompatTable();
        EXPECT_EQ(ImageKindOf(container(c.records)), c.kind) << c.name;
    }
    // The compatibility record fills the library's table wherever it lies.
    std::vector<std::uint32_t> many(150);
    for (std::size_t i = 0; i < many.size(); ++i)
        many[i] = static_cast<std::uint32_t>(i + 1);
    ClearFileCompatTable();
    EXPECT_EQ(ImageKindOf(container({{2, compatValue(many)}, {0x0B000000, textBytes("b")}})), IMAGE_KIND_BOOT);
    EXPECT_EQ(FileCompatTable().count, 100u) << "the first 100 entries are kept";
    EXPECT_EQ(FileCompatTable().values[99], 100u);
}

class ImageFiles : public ::testing::Test {
protected:
    vxtest::TempDir dir;
    std::u16string write(const std::string& name, const std::vector<std::uint8_t>& bytes)
    {
        writeFile(dir.file(name), bytes);
        return wide(dir.file(name));
    }
    std::u16string writeText(const std::string& name, const std::string& text)
    {
        flashfix::writeText(dir.file(name), text);
        return wide(dir.file(name));
    }
};

TEST_F(ImageFiles, ValidFilesGiveTheGeneratorsImagesByteForByte)
{
    const auto boot = bootImage();
    const auto app = appImage();
    struct Case {
        const char* name;
        HexOptions options;
    };
    const Case variants[] = {{"ascending", {}}, {"shuffled", {true}}, {"records of 16", {false, 16}}};
    for (const Case& v : variants) {
        const auto bootHex = joinLines(hexLines(boot, true, v.options));
        const auto appLines = hexLines(app, false, v.options);
        const auto appHex = joinLines(appLines);
        const auto expected = expectedAppImage(app, firstLineIsLate(appLines));
        const auto mocf = write("both.mocf", container({{0x0B000000, textBytes(bootHex)}, {0x0B000001, textBytes(appHex)}}));
        FirmwareImage image;
        ASSERT_EQ(LoadFirmwareImage(mocf, IMAGE_KIND_BOOT, &image), ImageStatus::ok) << v.name;
        EXPECT_EQ(firstDifference(image.bytes, boot), -1) << v.name;
        ASSERT_EQ(LoadFirmwareImage(mocf, IMAGE_KIND_APP, &image), ImageStatus::ok) << v.name;
        EXPECT_EQ(firstDifference(image.bytes, expected), -1) << v.name;
        // The same text as a plain HEX file.
        const auto hex = writeText("app.HEX", joinLines(hexLines(app, false, v.options), "\n"));
        ASSERT_EQ(LoadFirmwareImage(hex, IMAGE_KIND_APP, &image), ImageStatus::ok) << v.name;
        EXPECT_EQ(firstDifference(image.bytes, expected), -1) << v.name;
    }
}

TEST_F(ImageFiles, SparseFilesHaveErasedGaps)
{
    auto app = appImage();
    std::fill(app.begin() + 0x1000, app.begin() + 0x3000, 0xFF);
    auto boot = bootImage();
    std::fill(boot.begin() + 0x2000, boot.begin() + 0x4000, 0xFF);
    HexOptions sparse;
    sparse.skipErased = true;
    sparse.shuffle = true;
    const auto appLines = hexLines(app, false, sparse);
    const auto mocf = write("sparse.moc", container({{0x0B000000, textBytes(joinLines(hexLines(boot, true, sparse)))},
                                                    {0x0B000001, textBytes(joinLines(appLines))}}));
    FirmwareImage image;
    ASSERT_EQ(LoadFirmwareImage(mocf, IMAGE_KIND_BOOT, &image), ImageStatus::ok);
    EXPECT_EQ(firstDifference(image.bytes, boot), -1);
    ASSERT_EQ(LoadFirmwareImage(mocf, IMAGE_KIND_APP, &image), ImageStatus::ok);
    EXPECT_EQ(firstDifference(image.bytes, expectedAppImage(app, firstLineIsLate(appLines))), -1);
}

TEST_F(ImageFiles, ChecksumLineCarriesTheImageSum)
{
    // Enough lines ahead of it that the second reading reaches the checksum
    // line (it skips the first nine).
    std::vector<std::uint8_t> app(0x78000, 0xFF);
    for (std::size_t i = 0; i < 0x200; ++i)
        app[i] = static_cast<std::uint8_t>(i);
    app[0x77FFC] = 0x11;
    app[0x77FFD] = 0x22;
    app[0x77FFE] = 0x33;
    app[0x77FFF] = 0x44;
    HexOptions options;
    options.skipErased = true;
    FirmwareImage image;
    ASSERT_EQ(ReadHexText(joinLines(hexLines(app, false, options)), true, IMAGE_KIND_APP, &image), ImageStatus::ok);
    std::uint32_t sum = 0;
    for (std::uint8_t b : app)
        sum += b;
    EXPECT_EQ(image.bytes[0x77FFC], 0x11);
    EXPECT_EQ(image.bytes[0x77FFD], 0x22);
    EXPECT_EQ(image.bytes[0x77FFE], (sum >> 8) & 0xFF);
    EXPECT_EQ(image.bytes[0x77FFF], sum & 0xFF);
}

TEST_F(ImageFiles, BadTextIsRefused)
{
    const auto app = appImage();
    const std::string good = joinLines(hexLines(app, false));
    struct Case {
        const char* name;
        std::string text;
        ImageStatus status;
    };
    HexOptions badSum;
    badSum.corruptChecksumLine = 5;
    std::string longLine = ":" + std::string(520, '0');
    const std::vector<Case> cases = {
        {"bad checksum", joinLines(hexLines(app, false, badSum)), ImageStatus::badLine},
        {"line too long", ":020000041D00DD\r\n" + longLine + "\r\n:00000001FF\r\n", ImageStatus::badLine},
        {"count disagrees with length", ":020000041D00DD\r\n:0400000001020304F2AA\r\n:00000001FF\r\n",
         ImageStatus::badLine},
        {"data leaves the window", ":020000041D07D6\r\n" + hexRecord(0, 0x7FFE, {1, 2, 3, 4}) + "\r\n:00000001FF\r\n", ImageStatus::badLine},
        {"no data in the window", ":020000041FC01B\r\n:0400000001020304F2\r\n:00000001FF\r\n", ImageStatus::noData},
        {"not hex", ":02000004XY00DD\r\n:00000001FF\r\n", ImageStatus::badLine},
        {"lines after the end record are ignored", good + "garbage\r\n", ImageStatus::ok},
    };
    for (const Case& c : cases) {
        FirmwareImage image;
        EXPECT_EQ(ReadHexText(c.text, true, IMAGE_KIND_APP, &image), c.status) << c.name;
    }
    FirmwareImage image;
    EXPECT_EQ(ReadHexText(std::string(kObjectWorkBuffer + 1, ':'), true, IMAGE_KIND_APP, &image), ImageStatus::tooLarge);
}

// An end record among the first nine lines ends both readings of an
// application: what follows it is ignored, whatever its line number (the
// second reading, which leaves out the first nine lines, stops where the
// first one stopped).
TEST_F(ImageFiles, EarlyEndRecordEndsTheApplicationWhateverFollows)
{
    const std::vector<std::string> head = {
        ":020000041D00DD",
        hexRecord(0, 0x0000, {1, 2, 3, 4, 5, 6, 7, 8}),
        hexRecord(0, 0x0008, {9, 10, 11, 12}),
        ":00000001FF",
    };
    for (std::size_t garbageAt : {4u, 6u, 8u, 9u, 12u}) {
        std::vector<std::string> lines = head;
        // Valid data after the end record, up to the garbage line.
        while (lines.size() < garbageAt)
            lines.push_back(hexRecord(0, static_cast<std::uint16_t>(0x2000 + 16 * lines.size()), {0xAA, 0xBB}));
        lines.push_back("garbage");
        for (const bool container : {true, false}) {
            SCOPED_TRACE("garbage at line " + std::to_string(garbageAt) + (container ? " of an object" : " of a file"));
            FirmwareImage image;
            ASSERT_EQ(ReadHexText(joinLines(lines, container ? "\r\n" : "\n"), container, IMAGE_KIND_APP, &image),
                      ImageStatus::ok);
            EXPECT_EQ(image.dataLength, 12u);
            const std::vector<std::uint8_t> start(image.bytes.begin(), image.bytes.begin() + 12);
            EXPECT_EQ(start, (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 5, 6, 7, 8, 9, 10, 11, 12}));
            EXPECT_TRUE(std::all_of(image.bytes.begin() + 12, image.bytes.end(), [](std::uint8_t b) { return b == 0xFF; }))
                << "nothing after the end record is read";
        }
    }
}

TEST_F(ImageFiles, ReaderIsChosenByExtension)
{
    const std::string hex = joinLines(hexLines(bootImage(), true), "\n");
    const struct {
        const char* name;
        ImageStatus status;
    } cases[] = {{"firmware.HEX", ImageStatus::ok}, {"firmware.he", ImageStatus::ok}, {"firmware.bin", ImageStatus::noReader}};
    for (const auto& c : cases) {
        FirmwareImage image;
        EXPECT_EQ(LoadFirmwareImage(writeText(c.name, hex), IMAGE_KIND_BOOT, &image), c.status) << c.name;
    }
    FirmwareImage image;
    EXPECT_EQ(LoadFirmwareImage(wide(dir.file("missing.hex")), IMAGE_KIND_BOOT, &image), ImageStatus::openFailed);
}

TEST_F(ImageFiles, VersionRecordNeedsTheMinimumLength)
{
    std::string version, date;
    ASSERT_TRUE(ReadImageVersion(writeText("boot.hex", joinLines(hexLines(bootImage(), true), "\n")), IMAGE_KIND_BOOT,
                                 &version, &date));
    EXPECT_EQ(version, "B1.02");
    EXPECT_EQ(date, "Feb 23 2012 10:39:09");
    auto shortBoot = bootImage();
    shortBoot.resize(0xAE80 - 1);
    EXPECT_FALSE(ReadImageVersion(writeText("short.hex", joinLines(hexLines(shortBoot, true), "\n")), IMAGE_KIND_BOOT,
                                  &version, &date));
}

TEST_F(ImageFiles, GetFileVersionFillsTheRecord)
{
    const auto mocf = write("both.mocf", container({{0x0B000000, textBytes(joinLines(hexLines(bootImage(), true)))},
                                                   {0x0B000001, textBytes(joinLines(hexLines(appImage(), false)))}}));
    CFlashTool* tool = CreateFlashTool();
    fileversion_type v;
    std::memset(&v, 0x5A, sizeof v);
    ASSERT_EQ(tool->GetFileVersion(mocf.c_str(), &v), CGSRET_SUCCESS);
    EXPECT_STREQ(v.bootVersion, "B1.02");
    EXPECT_STREQ(v.appVersion, "A2.10");
    EXPECT_EQ(v.bootDate.tm_mon, 1);
    EXPECT_EQ(v.bootDate.tm_mday, 23);
    EXPECT_EQ(v.bootDate.tm_year, 112);
    EXPECT_EQ(v.bootDate.tm_hour, 10);
    EXPECT_EQ(v.bootDate.tm_min, 39);
    EXPECT_EQ(v.bootDate.tm_sec, 9);
    EXPECT_EQ(v.appDate.tm_year, 113);
    EXPECT_EQ(v.appDate.tm_wday, 0);
    EXPECT_EQ(tool->GetFileVersion(nullptr, &v), CGSRET_INVALID);
    EXPECT_EQ(tool->GetFileVersion(write("bad.mocf", {1, 2, 3}).c_str(), &v), CGSRET_INVALID);
    DestroyFlashTool(tool);
}

// Firmware, protocol-settings and log names reach the file system as UTF-8:
// no character is cut to its low byte (U+012F would become '/', U+0100 would
// end the name), and a name that names no file (a surrogate without its
// partner) is refused as a bad file.
TEST_F(ImageFiles, NamesReachTheFileSystemAsUtf8)
{
    const auto boot = container({{0x0B000000, textBytes(joinLines(hexLines(bootImage(), true)))}});
    std::filesystem::create_directories(dir.path() / "sub");
    writeFile(dir.file("sub/app.mocf"), boot);
    writeFile(dir.file("x\xC4\x80y.mocf"), boot);     // x, U+0100, y
    writeFile(dir.file("Pr\xC3\xBC" "fung.mocf"), boot);  // Prüfung
    const std::u16string folder = wide(dir.file(""));
    const struct {
        const char* name;
        std::u16string file;
        CONST_UPGRADERETURN update;  // 1: read, then no scanner; 3: not read
    } cases[] = {
        {"U+012F is no slash", u"sub\u012Fapp.mocf", CUR_FILEBAD},
        {"U+0100 ends nothing", u"x\u0100y.mocf", CUR_FAILURE},
        {"Latin letter", u"Pr\u00FCfung.mocf", CUR_FAILURE},
        {"lone surrogate", u"Pr\xD800" u"fung.mocf", CUR_FILEBAD},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::u16string path = folder + c.file;
        // No scanner query: nothing is sent anywhere.
        CFlashTool* tool = flashfix::toolWithoutScanner(0);
        EXPECT_EQ(tool->FlashScanner(nullptr, path.c_str()), c.update);
        fileversion_type version;
        EXPECT_EQ(tool->GetFileVersion(path.c_str(), &version),
                  c.update == CUR_FILEBAD ? CGSRET_INVALID : CGSRET_SUCCESS);
        EXPECT_STREQ(version.bootVersion, c.update == CUR_FILEBAD ? "" : "B1.02");
        DestroyFlashTool(tool);
    }

    // A protocol-settings file and a log file with such names.
    flashfix::writeText(dir.file("Einstellung-\xC3\xBC.txt"), "PX7700_RETRY_max: 7\n");
    CFlashTool* tool = CreateFlashTool();
    const std::u16string log = folder + u"Protokoll-\u0100.log";
    log_settings settings{CFS_LOG_FILE, log.c_str(), 2};
    ASSERT_EQ(tool->SetSetting(CFS_LOGGING, &settings, sizeof settings), CGSRET_SUCCESS);
    std::u16string protocol = folder + u"Einstellung-\u00FC.txt";
    EXPECT_EQ(tool->SetSetting(CFS_FLASH_PROTOCOL_SETTINGS, protocol.data(), 4), CGSRET_SUCCESS);
    std::int32_t retries = 0;
    tool->GetSetting(CFS_RETRY_MAX, &retries, 4);
    EXPECT_EQ(retries, 7);
    std::u16string broken = folder + u"Einstellung-\xDC00.txt";
    EXPECT_EQ(tool->SetSetting(CFS_FLASH_PROTOCOL_SETTINGS, broken.data(), 4), CGSRET_FAILURE);
    DestroyFlashTool(tool);
    EXPECT_NE(vxtest::readFile(dir.file("Protokoll-\xC4\x80.log")).find("LOAD: " + dir.file("Einstellung-\xC3\xBC.txt")),
              std::string::npos);
}

// Every corrupt file is refused with 3 before a port is opened: the port
// named here does not exist, so reaching the port would give 1.
TEST_F(ImageFiles, FlashScannerRefusesBadFilesBeforeAnyPort)
{
    const auto boot = bootImage();
    const auto app = appImage();
    HexOptions badSum;
    badSum.corruptChecksumLine = 3;
    const std::string goodBoot = joinLines(hexLines(boot, true));
    auto badDigest = container({{0x0B000000, textBytes(goodBoot)}});
    badDigest[30] ^= 1;  // a byte of the digest value
    struct Case {
        const char* name;
        std::string file;
        std::vector<std::uint8_t> bytes;
    };
    const std::vector<Case> cases = {
        {"wrong extension", "image.bin", container({{0x0B000000, textBytes(goodBoot)}})},
        {"bad digest", "image.mocf", badDigest},
        {"bad HEX checksum", "image.mocf", container({{0x0B000000, textBytes(joinLines(hexLines(boot, true, badSum)))}})},
        {"no data in window", "image.mocf", container({{0x0B000001, textBytes(":0400000001020304F2\r\n:00000001FF\r\n")}})},
        {"no images", "image.mocf", container({{2, compatValue({1})}})},
        {"no reader for the name", "image.suf", container({{0x0B000000, textBytes(goodBoot)}})},
        {"second image bad", "image.moc",
         container({{0x0B000000, textBytes(goodBoot)}, {0x0B000001, textBytes(joinLines(hexLines(app, false, badSum)))}})},
    };
    for (const Case& c : cases) {
        CFlashTool* tool = flashfix::toolWithoutScanner(1);
        const auto path = write(c.file, c.bytes);
        EXPECT_EQ(tool->FlashScanner(nullptr, path.c_str()), CUR_FILEBAD) << c.name;
        DestroyFlashTool(tool);
    }
}

}  // namespace
