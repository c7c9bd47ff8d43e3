#include "CImageData.h"

CImageData::CImageData(DWORD size)
    : CData(size)
{
    m_type = kImage;
}

CImageData::CImageData(const unsigned char* source, DWORD size)
    : CData(source, size)
{
    m_type = kImage;
}
