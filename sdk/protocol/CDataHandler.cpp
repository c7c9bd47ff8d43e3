#include "CDataHandler.h"

#include "CImageData.h"
#include "base/CBarcodeData.h"
#include "base/CScanningSDK.h"

#include <cstdint>

namespace {

// The payload's first six bytes, with every ASCII letter in lower case: a
// byte matches a prefix letter in either case exactly when it equals the
// letter with bit 5 set (only 'M' and 'm' give 'm' so), and every prefix
// byte is a letter. Compared this way, the device's bytes match the same
// whatever locale the host program has set.
constexpr std::uint64_t foldedPrefix(const unsigned char* bytes)
{
    std::uint64_t folded = 0;
    for (std::size_t i = 0; i < CDataHandler::kPrefixLength; ++i) {
        folded |= static_cast<std::uint64_t>(bytes[i] | 0x20U) << (8 * i);
    }
    return folded;
}

constexpr std::uint64_t prefixKey(const char* prefix)
{
    std::uint64_t folded = 0;
    for (std::size_t i = 0; i < CDataHandler::kPrefixLength; ++i) {
        folded |= static_cast<std::uint64_t>(static_cast<unsigned char>(prefix[i]) | 0x20U) << (8 * i);
    }
    return folded;
}

constexpr char kBarcodeText[] = "MSGGET";
constexpr std::uint64_t kBarcodePrefix = prefixKey(kBarcodeText);
constexpr std::uint64_t kImagePrefix = prefixKey("IMGSHP");

CData* plainRecord(const unsigned char* payload, std::size_t length, int kind)
{
    auto* record = new CData(payload, static_cast<DWORD>(length));
    record->setType(kind);
    return record;
}

}  // namespace

bool CDataHandler::mayBeBarcode(const unsigned char* bytes, std::size_t count)
{
    // Folded as foldedPrefix does: a letter in either case, nothing else.
    for (std::size_t i = 0; i < count && i < kPrefixLength; ++i) {
        if ((bytes[i] | 0x20U) != (static_cast<unsigned char>(kBarcodeText[i]) | 0x20U)) {
            return false;
        }
    }
    return true;
}

CData* CDataHandler::identifyData(const std::vector<unsigned char>& buffer, std::size_t start, std::size_t length)
{
    if (length == 0 || start > buffer.size() || length > buffer.size() - start) {
        return nullptr;
    }
    const unsigned char* payload = buffer.data() + start;
    const std::uint64_t prefix = length >= kPrefixLength ? foldedPrefix(payload) : 0;

    if (prefix == kBarcodePrefix) {
        const std::size_t skip = kPrefixLength + kBarcodeHeaderSkip;
        if (length < skip) {
            return nullptr;
        }
        auto* barcode = new CBarcodeData(payload + skip, static_cast<DWORD>(length - skip));
        if (!barcode->parseData()) {
            SDK_LOG(logbit::error, "CDataHandler::identifyData", "can't fill in the attribute for this barcode!");
        }
        return barcode;
    }

    if (prefix == kImagePrefix) {
        for (std::size_t g = 0; g < length; ++g) {
            if (payload[g] != 0x1D) {
                continue;
            }
            m_imageSeparator = g;
            const std::size_t imageLength = length - (g + 1);
            auto* image = new CImageData(payload + g + 1, static_cast<DWORD>(imageLength));
            int format = -1;
            if (g >= 2 && payload[g - 2] >= '0' && payload[g - 2] <= '8') {
                format = payload[g - 2] - '0';
            }
            image->setFormat(format);
            return image;
        }
        SDK_LOG(logbit::error, "CDataHandler::identifyData", "this image data can't identify the length!");
        return plainRecord(payload, length, CData::kMenuResponse);
    }

    return plainRecord(payload, length, CData::kRaw);
}
