// The control site: creation by class id (and its failure), the event sink
// on the control's connection point, callbacks on the thread that created
// the control with by-reference answers going back to the caller, and the
// site's end letting go of the control.

#include "ControlFixtures.h"
#include "ControlSite.h"
#include "EventFixtures.h"
#include "FakeScannerControl.h"
#include "OposControls.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

using controltest::Container;
using controltest::WriteDevice;
using platform::DispatchArg;

// What the callbacks saw: "Name(args) on <thread>".
class Seen {
public:
    void Add(const std::string& event)
    {
        std::lock_guard lock(m_mutex);
        m_events.push_back(event + " on " + std::to_string(GetCurrentThreadId()));
    }
    std::vector<std::string> Events()
    {
        std::lock_guard lock(m_mutex);
        return m_events;
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_events;
};

// Callbacks that note each event and answer: retry (11) for an error,
// 99 and "answered" for a DirectIO event.
void Listen(ControlSite& site, Seen& seen)
{
    site.onDataEvent = [&](LONG status) { seen.Add("Data(" + std::to_string(status) + ")"); };
    site.onStatusUpdateEvent = [&](LONG data) { seen.Add("StatusUpdate(" + std::to_string(data) + ")"); };
    site.onErrorEvent = [&](LONG rc, LONG rce, LONG locus, LONG* response) {
        seen.Add("Error(" + std::to_string(rc) + ", " + std::to_string(rce) + ", " + std::to_string(locus) + ", " +
                 std::to_string(*response) + ")");
        *response = 11;
    };
    site.onDirectIOEvent = [&](LONG number, LONG* data, BSTR* text) {
        seen.Add("DirectIO(" + std::to_string(number) + ", " + std::to_string(*data) + ", " +
                 platform::ansiFromBstr(*text) + ")");
        *data = 99;
        SysFreeString(*text);
        *text = platform::bstrFromAnsi("answered");
    };
}

// The real control and the fake service objects registered.
class SiteOnRealControlTest : public controltest::ControlTest {};

TEST_F(SiteOnRealControlTest, TheRealControlsEventsReachTheCallbacksOnItsThreadAndTheAnswersGoBack)
{
    WriteDevice("dev", 1);
    Container container({});
    Seen seen;
    std::unique_ptr<ControlSite> site;
    container.run([&] {
        site = std::make_unique<ControlSite>();
        ASSERT_EQ(site->Create(kScannerControlClsid), S_OK);
        Listen(*site, seen);
        COPOSScanner scanner(site->Dispatch());
        ASSERT_EQ(scanner.Open("dev"), 0);
        ASSERT_EQ(scanner.ClaimDevice(1000), 0);
    });
    ASSERT_NE(site->Dispatch(), nullptr);

    // The service object calls back on a thread of its own; the control
    // holds it until the container's thread has raised the event.
    platform::DispatchDriver serviceObjectSide(site->Dispatch(), false);
    LONG response = 12;
    ASSERT_EQ(serviceObjectSide.invoke(3, DISPATCH_METHOD,
                                       {DispatchArg::i4(111), DispatchArg::i4(5), DispatchArg::i4(1),
                                        DispatchArg::i4Ref(&response)},
                                       nullptr),
              S_OK);
    EXPECT_EQ(response, 11);
    LONG data = 4;
    BSTR text = platform::bstrFromAnsi(std::string("q\xE9", 2));
    ASSERT_EQ(serviceObjectSide.invoke(2, DISPATCH_METHOD,
                                       {DispatchArg::i4(7), DispatchArg::i4Ref(&data), DispatchArg::bstrRef(&text)},
                                       nullptr),
              S_OK);
    EXPECT_EQ(data, 99);
    EXPECT_EQ(platform::ansiFromBstr(text), "answered");
    SysFreeString(text);
    ASSERT_EQ(serviceObjectSide.invoke(1, DISPATCH_METHOD, {DispatchArg::i4(5)}, nullptr), S_OK);
    ASSERT_EQ(serviceObjectSide.invoke(5, DISPATCH_METHOD, {DispatchArg::i4(2001)}, nullptr), S_OK);

    const std::string on = " on " + std::to_string(container.threadId());
    EXPECT_EQ(seen.Events(), (std::vector<std::string>{"Error(111, 5, 1, 12)" + on,
                                                       "DirectIO(7, 4, " + std::string("q\xE9", 2) + ")" + on,
                                                       "Data(5)" + on, "StatusUpdate(2001)" + on}));
    container.run([&] {
        COPOSScanner(site->Dispatch()).Close();
        site.reset();
    });
}

TEST_F(SiteOnRealControlTest, AFailedCallOnTheRealControlThrowsItsHresult)
{
    ControlSite site;
    ASSERT_EQ(site.Create(kScannerControlClsid), S_OK);
    // The scanner control has no image members: the dispatch call fails.
    COPOSImageScanner notAnImager(site.Dispatch());
    try {
        notAnImager.StartSession();
        ADD_FAILURE() << "no exception";
    } catch (const ControlCallError& error) {
        EXPECT_EQ(error.code(), DISP_E_MEMBERNOTFOUND);
    }
}

// Takes a library's classes out of the registry, as vxregsvr /u does.
void unregisterLibrary(const char* name)
{
    HMODULE library = LoadLibraryA(controltest::LibraryPath(name).c_str());
    ASSERT_NE(library, nullptr) << name;
    const auto unregisterServer =
        reinterpret_cast<DllRegisterServerFunction>(GetProcAddress(library, "DllUnregisterServer"));
    ASSERT_NE(unregisterServer, nullptr) << name;
    EXPECT_EQ(unregisterServer(), S_OK) << name;
    FreeLibrary(library);
}

TEST(ControlSiteTest, CreatingAClassThatIsNotRegisteredFailsWithItsHresult)
{
    // Neither control is installed (an earlier test may have registered them).
    unregisterLibrary("libVXOPOSScanner.so");
    unregisterLibrary("libVXOPOSImageScanner.so");
    for (const CLSID& clsid : {kScannerControlClsid, kImageScannerControlClsid}) {
        ControlSite site;
        EXPECT_EQ(site.Create(clsid), REGDB_E_CLASSNOTREG);
        EXPECT_EQ(site.Dispatch(), nullptr);
    }
}

TEST(ControlSiteTest, AHostedFakeFiresIntoTheCallbacksAndTheSiteLetsGoAtItsEnd)
{
    FakeScannerControl fake;
    Seen seen;
    {
        ControlSite site;
        site.Attach(&fake);
        EXPECT_EQ(site.Dispatch(), &fake);
        EXPECT_EQ(fake.Sinks(), 1u);
        Listen(site, seen);

        fake.FireDataEvent(3);
        EXPECT_EQ(fake.FireErrorEvent(111, 0, 2, 12), 11);
        LONG data = 1;
        std::string text = "ask";
        fake.FireDirectIOEvent(9, &data, &text);
        EXPECT_EQ(data, 99);
        EXPECT_EQ(text, "answered");
        fake.FireStatusUpdateEvent(2004);

        // An event nobody listens to is answered as it came.
        site.onErrorEvent = nullptr;
        EXPECT_EQ(fake.FireErrorEvent(111, 0, 2, 12), 12);
    }
    const std::string on = " on " + std::to_string(GetCurrentThreadId());
    EXPECT_EQ(seen.Events(), (std::vector<std::string>{"Data(3)" + on, "Error(111, 0, 2, 12)" + on,
                                                       "DirectIO(9, 1, ask)" + on, "StatusUpdate(2004)" + on}));
    EXPECT_EQ(fake.Sinks(), 0u);
    EXPECT_EQ(fake.References(), 0u);
}

TEST(ControlSiteTest, ACallbackMayEndTheSiteDuringItsOwnEvent)
{
    FakeScannerControl fake;
    auto site = std::make_unique<ControlSite>();
    site->Attach(&fake);
    auto state = std::make_shared<LONG>(13);
    std::weak_ptr<LONG> watch = state;
    bool stateLivedOn = false;
    site->onErrorEvent = [&, state](LONG, LONG, LONG, LONG* response) {
        site.reset();
        // What the callback captured must outlive the site while it runs.
        stateLivedOn = !watch.expired();
        if (stateLivedOn)
            *response = *state;
    };
    state.reset();
    EXPECT_EQ(fake.FireErrorEvent(111, 0, 1, 12), 13);
    EXPECT_TRUE(stateLivedOn);
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(fake.Sinks(), 0u);
    EXPECT_EQ(fake.References(), 0u);
}

}  // namespace
