// Received-data records and the default menu-response endings.
#include "base/CBarcodeData.h"
#include "base/CData.h"
#include "base/MenuPatterns.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

TEST(Data, ConstructorsSetKindBytesAndLength)
{
    CData empty;
    EXPECT_EQ(empty.getType(), CData::kRaw);
    EXPECT_EQ(empty.getData(), nullptr);
    EXPECT_EQ(empty.getLength(), 0u);

    CData sized(5);
    EXPECT_EQ(sized.getType(), CData::kRaw);
    ASSERT_NE(sized.getData(), nullptr);
    EXPECT_EQ(sized.getLength(), 5u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(sized.getData()), 5), std::string(5, '\0'));

    CBarcodeData barcode(5);
    EXPECT_EQ(barcode.getType(), CData::kBarcode);
    EXPECT_EQ(barcode.getLength(), 5u);
    CBarcodeData unset;
    EXPECT_EQ(unset.getType(), CData::kRaw);
    EXPECT_EQ(unset.getData(), nullptr);
}

TEST(Data, CopyingConstructorsKeepTheirOwnCopy)
{
    for (const std::string& bytes : {std::string("j]E0X"), std::string("j]E0"), std::string(1, '\0'), std::string()}) {
        std::string source = bytes;
        const auto* from = reinterpret_cast<const unsigned char*>(source.data());
        const auto length = static_cast<DWORD>(source.size());
        CData plain(from, length);
        CBarcodeData barcode(from, length);
        source.assign(source.size(), '#');  // the records do not look back at the source
        for (const CData* record : {static_cast<const CData*>(&plain), static_cast<const CData*>(&barcode)}) {
            ASSERT_NE(record->getData(), nullptr);
            EXPECT_EQ(record->getLength(), bytes.size());
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(record->getData()), record->getLength()), bytes);
        }
        EXPECT_EQ(plain.getType(), CData::kRaw);
        EXPECT_EQ(barcode.getType(), CData::kBarcode);
        EXPECT_EQ(barcode.parseData(), bytes.size() >= 4) << bytes.size();
    }
    CBarcodeData barcode(reinterpret_cast<const unsigned char*>("j]E0X"), 5);
    ASSERT_TRUE(barcode.parseData());
    EXPECT_EQ(barcode.getCodeId(), 'j');
    EXPECT_EQ(barcode.getSymbologyId(), "]E");
    EXPECT_EQ(barcode.getLabel(), "X");
}

TEST(Data, FillDataCopiesOnlyWhatItIsGiven)
{
    const unsigned char source[] = {'a', 'b', 'c'};
    struct Case {
        const char* name;
        void (*fill)(CData& record, const unsigned char* source);
        const char* expected;
    };
    const Case cases[] = {
        {"pointer at offset", [](CData& r, const unsigned char* s) { r.fillData(s, 3, 2); }, "..abc."},
        {"null pointer", [](CData& r, const unsigned char*) { r.fillData(nullptr, 3, 0); }, "......"},
        {"zero count", [](CData& r, const unsigned char* s) { r.fillData(s, 0, 0); }, "......"},
        {"vector of that count",
         [](CData& r, const unsigned char* s) { r.fillData(std::vector<unsigned char>(s, s + 3), 3, 1); }, ".abc.."},
        {"vector of another count",
         [](CData& r, const unsigned char* s) { r.fillData(std::vector<unsigned char>(s, s + 3), 2, 0); }, "......"},
        {"empty vector", [](CData& r, const unsigned char*) { r.fillData(std::vector<unsigned char>(), 0, 0); },
         "......"},
    };
    for (const Case& c : cases) {
        CData record(6);
        std::memset(record.getData(), '.', 6);
        c.fill(record, source);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(record.getData()), 6), c.expected) << c.name;
    }
    CData empty;
    empty.fillData(source, 0, 0);
    empty.fillData(nullptr, 0, 0);
}

TEST(BarcodeData, ParseDataTable)
{
    struct Case {
        const char* name;
        std::string bytes;
        bool parsed;
        signed char codeId;
        std::string symbology;
        std::string label;
    };
    const Case cases[] = {
        {"five bytes", std::string("j]E0X"), true, 'j', "]E", "X"},
        {"exactly four bytes", std::string("jE0-"), true, 'j', "E0", ""},
        {"label with zero bytes", std::string("dE0\0" "12\0" "34", 9), true, 'd', "E0", std::string("12\0" "34", 5)},
        {"no-read code identifier", std::string("\x9C" "Q1 ", 4), true, -100, "Q1", ""},
        {"three bytes", std::string("j]E"), false, 0, "", ""},
        {"one byte", std::string("j"), false, 0, "", ""},
        {"no bytes (a 10-byte MSGGET packet)", std::string(), false, 0, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<CData> owner = std::make_unique<CBarcodeData>(static_cast<DWORD>(c.bytes.size()));
        owner->fillData(reinterpret_cast<const unsigned char*>(c.bytes.data()), static_cast<DWORD>(c.bytes.size()),
                        0);
        auto* record = dynamic_cast<CBarcodeData*>(owner.get());
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->parseData(), c.parsed);
        EXPECT_EQ(record->getCodeId(), c.codeId);
        EXPECT_EQ(record->getSymbologyId(), c.symbology);
        EXPECT_EQ(record->getLabel(), c.label);
        EXPECT_EQ(record->getType(), CData::kBarcode);
    }

    CBarcodeData unset;
    EXPECT_FALSE(unset.parseData());
    EXPECT_EQ(unset.getType(), CData::kRaw);
    EXPECT_TRUE(unset.getLabel().empty());
}

TEST(MenuPatterns, NineEndingsInOrder)
{
    const std::vector<std::string> expected = {
        "\x06@", "\x06!", "\x06.", "\x15@", "\x15!", "\x15.", "\x05@", "\x05!", "\x05.",
    };
    EXPECT_EQ(defaultMenuPatterns(), expected);
}

}  // namespace
