// Scope tracer: logs "<name> enter now." when built and "<name> exit now."
// when destroyed, both at the trace bit and only while that bit is on in the
// current logger's mask (tested at each of the two moments). The name is
// kept only when the tracer is built with tracing on, so a tracer costs no
// allocation while tracing is off.
#pragma once

#include <string>
#include <string_view>

class CLogHelper {
public:
    // An empty name traces as "CLogHelper::CLogHelper, ".
    explicit CLogHelper(std::string_view name = {});
    ~CLogHelper();
    CLogHelper(const CLogHelper&) = delete;
    CLogHelper& operator=(const CLogHelper&) = delete;

private:
    std::string m_name;
};
