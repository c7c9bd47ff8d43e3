#include "CData.h"

#include <cstring>

CData::CData(DWORD size)
    : m_data(new unsigned char[size]())
    , m_length(size)
{
}

CData::CData(const unsigned char* source, DWORD size)
    : m_data(new unsigned char[size])
    , m_length(size)
{
    if (size != 0) {
        std::memcpy(m_data, source, size);
    }
}

CData::~CData()
{
    delete[] m_data;
}

void CData::fillData(const unsigned char* source, DWORD count, DWORD offset)
{
    if (source == nullptr || count == 0) {
        return;
    }
    std::memcpy(m_data + offset, source, count);
}

void CData::fillData(const std::vector<unsigned char>& source, DWORD count, DWORD offset)
{
    if (count == 0 || count != source.size()) {
        return;
    }
    std::memcpy(m_data + offset, source.data(), count);
}
