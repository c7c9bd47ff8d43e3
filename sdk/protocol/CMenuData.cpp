#include "CMenuData.h"

CMenuData::CMenuData(DWORD size)
    : CData(size)
{
    m_type = kMenuResponse;
}

CMenuData::CMenuData(const unsigned char* source, DWORD size)
    : CData(source, size)
{
    m_type = kMenuResponse;
}

bool CMenuData::parse()
{
    if (m_data == nullptr || m_length < 4) {
        return false;
    }
    switch (m_data[m_length - 1]) {
    case '.': terminator = 0; break;
    case '@': terminator = 1; break;
    case '!': terminator = 2; break;
    default: terminator = -1; break;
    }
    switch (m_data[m_length - 2]) {
    case 0x06: response = 0; break;
    case 0x15: response = 1; break;
    case 0x05: response = 2; break;
    default: response = -1; break;
    }
    tagData = m_data[m_length - 3];
    return true;
}
