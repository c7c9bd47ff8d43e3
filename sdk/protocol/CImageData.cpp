#include "CImageData.h"

CImageData::CImageData(DWORD size)
    : CData(size)
{
    m_type = kImage;
}
