#include "CConDescriptor.h"

#include <cstring>

void CConDescriptor::SetType(const char* type)
{
    std::memset(m_szType, 0, sizeof m_szType);
    if (type != nullptr)
        std::strncpy(m_szType, type, sizeof m_szType - 1);
}

bool CConDescriptor::IsType(const char* type) const
{
    return type != nullptr && std::strncmp(m_szType, type, std::strlen(type)) == 0;
}

const SSerialSettings* CConDescriptor::GetSerialSettings() const
{
    if (IsType("USBSER") || IsType("USBHID") || IsType("IBMPOSS"))
        return nullptr;
    return &m_settings;
}

void CConDescriptor::SetBaudRate(const std::string& code)
{
    static const int rates[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600};
    m_settings.m_nBaudRate = 115200;
    if (code.size() == 1 && code[0] >= '0' && code[0] <= '8')
        m_settings.m_nBaudRate = rates[code[0] - '0'];
}

void CConDescriptor::SetParity(const std::string& name)
{
    if (name == "ODD")
        m_settings.m_nParity = 'O';
    else if (name == "EVEN")
        m_settings.m_nParity = 'E';
    else if (name == "MARK")
        m_settings.m_nParity = 'M';
    else if (name == "SPACE")
        m_settings.m_nParity = 'S';
    else
        m_settings.m_nParity = 'N';
}

void CConDescriptor::SetDataBits(const std::string& text)
{
    m_settings.m_nDataBits = text == "7" ? 7 : 8;
}

void CConDescriptor::SetStopBits(const std::string& text)
{
    m_settings.m_nStopBits = text == "2" ? 2 : 1;
}

bool CConDescriptor::operator==(const CConDescriptor& other) const
{
    const SSerialSettings& a = m_settings;
    const SSerialSettings& b = other.m_settings;
    return m_nPort == other.m_nPort && IsType(other.m_szType) && a.m_nBaudRate == b.m_nBaudRate &&
           a.m_nDataBits == b.m_nDataBits && a.m_nParity == b.m_nParity && a.m_nStopBits == b.m_nStopBits &&
           a.m_nSpare == b.m_nSpare && a.m_nHandshake == b.m_nHandshake;
}
