#include "CLogHelper.h"

#include "CScanningSDK.h"

CLogHelper::CLogHelper(std::string_view name)
{
    CLogger* logger = CScanningSDK::getLogger();
    if (!logger->isEnabled(logbit::trace)) {
        return;
    }
    m_name.assign(name);
    if (m_name.empty()) {
        logger->log("CLogHelper::CLogHelper,  enter now.", logbit::trace);
    } else {
        logger->log(m_name + " enter now.", logbit::trace);
    }
}

CLogHelper::~CLogHelper()
{
    CLogger* logger = CScanningSDK::getLogger();
    if (logger->isEnabled(logbit::trace)) {
        logger->log(m_name + " exit now.", logbit::trace);
    }
}
