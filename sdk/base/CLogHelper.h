// Scope tracer: logs "<name> enter now." when built and "<name> exit now."
// when destroyed, both at the trace bit and only while that bit is on in the
// current logger's mask (tested at each of the two moments).
#pragma once

#include <string>

class CLogHelper {
public:
    // An empty name traces as "CLogHelper::CLogHelper, ".
    explicit CLogHelper(std::string name = std::string());
    ~CLogHelper();
    CLogHelper(const CLogHelper&) = delete;
    CLogHelper& operator=(const CLogHelper&) = delete;

private:
    std::string m_name;
};
