// The exported interface's character buffers, which a host program sizes
// for its own request: a call that answers nothing leaves the buffer as it
// was and writes nothing past it.
#include "COPOSKestrel.h"
#include "CScannerWrapper.h"
#include "SOHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

TEST(HostBuffer, ARetrieveStatisticsWithoutAnAnswerLeavesTheHostsBufferAlone)
{
    CScannerWrapper::ScannerInit(1, "0", "", "1", "0", "", "", "2", "250");
    const std::string request = "U_GoodScanCount,M_NoReadCount";
    // The request, its NUL, and bytes past them that are not the call's.
    std::vector<char> buffer(request.size() + 1 + 64, 'S');
    std::copy(request.begin(), request.end(), buffer.begin());
    buffer[request.size()] = '\0';
    const std::vector<char> before = buffer;
    EXPECT_EQ(CScannerWrapper::ScannerRetrieveStatistics(reinterpret_cast<OLECHAR**>(buffer.data())), 101);
    EXPECT_EQ(buffer, before);
    CScannerWrapper::ScannerReleaseInstance();
    COPOSKestrel::ReleaseInstance();
    SetSOHost(nullptr);
}

}  // namespace
