#include "CDataHandler.h"

#include "CImageData.h"
#include "base/CBarcodeData.h"
#include "base/CScanningSDK.h"

#include <cctype>

namespace {

bool startsWithNoCase(const unsigned char* payload, std::size_t length, const char* prefix)
{
    for (std::size_t i = 0; i < CDataHandler::kPrefixLength; ++i) {
        if (i >= length
            || std::toupper(payload[i]) != std::toupper(static_cast<unsigned char>(prefix[i]))) {
            return false;
        }
    }
    return true;
}

CData* plainRecord(const unsigned char* payload, std::size_t length, int kind)
{
    auto* record = new CData(static_cast<DWORD>(length));
    record->fillData(payload, static_cast<DWORD>(length), 0);
    record->setType(kind);
    return record;
}

}  // namespace

CData* CDataHandler::identifyData(const std::vector<unsigned char>& buffer, std::size_t start, std::size_t length)
{
    if (length == 0 || start > buffer.size() || length > buffer.size() - start) {
        return nullptr;
    }
    const unsigned char* payload = buffer.data() + start;

    if (startsWithNoCase(payload, length, "MSGGET")) {
        const std::size_t skip = kPrefixLength + kBarcodeHeaderSkip;
        if (length < skip) {
            return nullptr;
        }
        auto* barcode = new CBarcodeData(static_cast<DWORD>(length - skip));
        barcode->fillData(payload + skip, static_cast<DWORD>(length - skip), 0);
        if (!barcode->parseData()) {
            SDK_LOG(logbit::error, "CDataHandler::identifyData", "can't fill in the attribute for this barcode!");
        }
        return barcode;
    }

    if (startsWithNoCase(payload, length, "IMGSHP")) {
        for (std::size_t g = 0; g < length; ++g) {
            if (payload[g] != 0x1D) {
                continue;
            }
            m_imageSeparator = g;
            const std::size_t imageLength = length - (g + 1);
            auto* image = new CImageData(static_cast<DWORD>(imageLength));
            image->fillData(payload + g + 1, static_cast<DWORD>(imageLength), 0);
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
