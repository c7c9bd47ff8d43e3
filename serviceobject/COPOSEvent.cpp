#include "COPOSEvent.h"

#include <algorithm>

CDataEvent::CDataEvent(const SBarcodeRecord& record)
    : m_cCodeId(record.m_cCodeId), m_aim{record.m_aim[0], record.m_aim[1]}
{
    m_nEventType = EVT_DATA;
    const std::size_t length =
        std::min(static_cast<std::size_t>(std::max(record.m_nLength, 0)), kBarcodeLabelCapacity);
    m_data.reserve(length + 4);
    m_data.push_back(static_cast<unsigned char>(record.m_cCodeId));
    m_data.push_back(']');
    m_data.push_back(static_cast<unsigned char>(record.m_aim[0]));
    m_data.push_back(static_cast<unsigned char>(record.m_aim[1]));
    m_data.insert(m_data.end(), record.m_label, record.m_label + length);
}

void CDataEvent::StripIdentifiers()
{
    if (m_data.size() < 4)
        return;
    m_data = std::vector<unsigned char>(m_data.begin() + 4, m_data.end());
}

CImageDataEvent::CImageDataEvent(const SImageRecord& record)
    : m_lAttributes{record.m_lAttributes[0], record.m_lAttributes[1], record.m_lAttributes[2]}
{
    m_nEventType = EVT_IMAGE;
    if (record.m_pData != nullptr && record.m_lLength > 0)
        m_data.assign(record.m_pData, record.m_pData + record.m_lLength);
}
