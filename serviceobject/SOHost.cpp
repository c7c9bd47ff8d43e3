#include "SOHost.h"

#include <atomic>

namespace {

class DefaultHost : public ISOHost {
public:
    int AppType() const override { return 0; }
    bool FireUpdateStatistics(int) override { return false; }
};

DefaultHost g_defaultHost;
std::atomic<ISOHost*> g_host{nullptr};

}  // namespace

ISOHost& SOHost()
{
    ISOHost* host = g_host.load(std::memory_order_acquire);
    return host != nullptr ? *host : g_defaultHost;
}

void SetSOHost(ISOHost* host)
{
    g_host.store(host, std::memory_order_release);
}
