// What the service object's tests share: a debug output that keeps its
// lines, an owner of the event window that records what it fires, and a
// rig of queue, window and threads as the scanner logic builds them.
#pragma once

#include "TestSupport.h"

#include "CEventWindowThread.h"
#include "COPOSEvent.h"
#include "CScannerDataQ.h"
#include "CScannerEventIF.h"
#include "IEventOwner.h"
#include "SOHost.h"
#include "base/CBarcodeData.h"
#include "debug/ZRIDbgBase.h"

#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

namespace sotest {

// Keeps every line as "tag|text" (Log: "|text"; LogText2: "tag|text|text2").
class RecordingDebug : public ZRIDbgBase {
public:
    void Log(const char* text) override { add(std::string("|") + text); }
    void LogText(const char* tag, const char* text) override { add(std::string(tag) + "|" + text); }
    void LogText2(const char* tag, const char* text, const char* text2) override
    {
        add(std::string(tag) + "|" + text + "|" + text2);
    }
    std::vector<std::string> lines()
    {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    int count(const std::string& line)
    {
        std::lock_guard lock(m_mutex);
        int n = 0;
        for (const auto& l : m_lines)
            n += l == line ? 1 : 0;
        return n;
    }
    bool contains(const std::string& part)
    {
        std::lock_guard lock(m_mutex);
        for (const auto& l : m_lines)
            if (l.find(part) != std::string::npos)
                return true;
        return false;
    }

private:
    void add(std::string line)
    {
        std::lock_guard lock(m_mutex);
        m_lines.push_back(std::move(line));
    }
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

// A status record that counts the live instances of its kind.
class CountedStatus : public CStatusUpdateEvent {
public:
    explicit CountedStatus(long status) : CStatusUpdateEvent(status) { ++live; }
    ~CountedStatus() override { --live; }
    static inline std::atomic<int> live{0};
};

// Records every fire as text: "D:<data bytes>", "E:<rc>,<rce>,<locus>,<response>,<clear>", "S:<status>",
// with the thread it ran on. Acts on the queue as the scanner logic does
// when it fires: a DataEvent clears DataEventEnabled and lets a status
// behind it follow.
class RecordingOwner : public IScannerEventOwner {
public:
    CDataQ* queue = nullptr;
    std::atomic<long> autoDisable{0};
    std::atomic<int> disabled{0};
    // Runs inside a fire, on the window's thread (a latch, say).
    std::function<void()> duringFire;

    long GetAutoDisable() override { return autoDisable.load(); }
    void DisableDevice() override { ++disabled; }
    void FireDataEvent(CDataEvent* event) override
    {
        if (queue != nullptr)
            queue->SetDataEventEnabled(false);
        add("D:" + std::string(event->m_data.begin(), event->m_data.end()));
        if (queue != nullptr && queue->GetStatusBehind()) {
            queue->ClearStatusBehind();
            queue->SignalOne();
        }
    }
    void FireErrorEvent(CErrorEvent* e) override
    {
        add("E:" + std::to_string(e->m_lResultCode) + "," + std::to_string(e->m_lResultCodeExtended) + "," +
            std::to_string(e->m_lErrorLocus) + "," + std::to_string(e->m_lErrorResponse) + "," +
            std::to_string(e->m_lClearCount));
    }
    void FireSUE(CStatusUpdateEvent* event) override { add("S:" + std::to_string(event->m_lStatus)); }

    std::vector<std::string> fired()
    {
        std::lock_guard lock(m_mutex);
        return m_fired;
    }
    std::vector<DWORD> threads()
    {
        std::lock_guard lock(m_mutex);
        return m_threads;
    }
    bool waitForCount(std::size_t count)
    {
        return vxtest::waitUntil([&] { return fired().size() >= count; });
    }

private:
    void add(std::string text)
    {
        if (duringFire)
            duringFire();
        std::lock_guard lock(m_mutex);
        m_fired.push_back(std::move(text));
        m_threads.push_back(GetCurrentThreadId());
    }
    std::mutex m_mutex;
    std::vector<std::string> m_fired;
    std::vector<DWORD> m_threads;
};

// A program bound to the exported interface: counters go to its callback.
class HostDouble : public ISOHost {
public:
    explicit HostDouble(int type) : m_type(type) {}
    int AppType() const override { return m_type; }
    bool FireUpdateStatistics(int counter) override
    {
        counters.push_back(counter);
        return true;
    }
    std::vector<int> counters;

private:
    int m_type;
};

// The queue, the event window and its thread, wired as the scanner logic
// wires them. The queue's thread runs unless asked otherwise.
struct EventRig {
    RecordingDebug debug;
    RecordingOwner owner;
    CScannerEventIF window;
    CEventWindowThread windowThread{window, &debug};
    CScannerDataQ queue{500, &debug};

    explicit EventRig(bool startQueue = true)
    {
        window.SetDebug(&debug);
        window.SetOwner(&owner);
        owner.queue = &queue;
        EXPECT_TRUE(windowThread.Start());
        EXPECT_EQ(windowThread.WaitForWindow(20000), 1);
        queue.SetEventWindow(window.GetSafeHwnd());
        if (startQueue) {
            EXPECT_TRUE(queue.StartThread());
            // The thread starts by forgetting the last status: let it.
            EXPECT_TRUE(vxtest::waitUntil([&] { return debug.contains("DataQ.ThreadRoutine(): |entered"); }));
        }
    }
    ~EventRig()
    {
        if (::testing::Test::HasFailure())
            for (const auto& line : debug.lines())
                std::cerr << line << "\n";
        queue.Shutdown();
        windowThread.PostClose();
        windowThread.WaitForEnd(INFINITE);
    }
    // Enables data events and waits until the delivery thread has seen it,
    // so no rise is pending when the next events come.
    void enable()
    {
        const int seen = debug.count("DataQ.ThreadRoutine(): |DataEventsEnabled changed to T");
        queue.SetDataEventEnabled(true);
        EXPECT_TRUE(vxtest::waitUntil(
            [&] { return debug.count("DataQ.ThreadRoutine(): |DataEventsEnabled changed to T") > seen; }));
    }
    // Waits until the delivery thread has looked at the head this many
    // times and taken nothing.
    bool waitHeld(int times)
    {
        return vxtest::waitUntil([&] {
            return debug.count("DataQ.ThreadRoutine(): |DataEvents disabled  or not a status update event") >= times;
        });
    }
};

// A barcode as the SDK delivers it: code identifier, AIM letter and
// modifier, a skipped byte, the label.
inline CData* barcodeRecord(const std::string& label, char codeId = 'd', const std::string& aim = "E0")
{
    std::string bytes;
    bytes.push_back(codeId);
    bytes += aim.substr(0, 2);
    bytes.push_back('\0');
    bytes += label;
    auto* record = new CBarcodeData(static_cast<DWORD>(bytes.size()));
    record->fillData(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<DWORD>(bytes.size()), 0);
    record->parseData();
    return record;
}

}  // namespace sotest
