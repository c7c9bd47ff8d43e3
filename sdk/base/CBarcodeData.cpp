#include "CBarcodeData.h"

CBarcodeData::CBarcodeData(DWORD size)
    : CData(size)
{
    m_type = kBarcode;
}

CBarcodeData::CBarcodeData(const unsigned char* source, DWORD size)
    : CData(source, size)
{
    m_type = kBarcode;
}

bool CBarcodeData::parseData()
{
    constexpr DWORD kHeaderLength = 4;
    if (m_data == nullptr || m_length < kHeaderLength) {
        return false;
    }
    const char* bytes = reinterpret_cast<const char*>(m_data);
    m_codeId = static_cast<signed char>(m_data[0]);
    m_symbologyId.assign(bytes + 1, 2);
    m_label.assign(bytes + kHeaderLength, m_length - kHeaderLength);
    return true;
}
