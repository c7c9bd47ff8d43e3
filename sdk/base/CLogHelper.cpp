#include "CLogHelper.h"

#include "CScanningSDK.h"

#include <utility>

CLogHelper::CLogHelper(std::string name)
    : m_name(std::move(name))
{
    CLogger* logger = CScanningSDK::getLogger();
    if (!logger->isEnabled(logbit::trace)) {
        return;
    }
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
