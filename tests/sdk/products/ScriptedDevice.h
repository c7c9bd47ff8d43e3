// A scripted scanner behind an in-memory port, for the device-information
// paths: it collects the bytes the host writes into menu frames (header,
// address between colons, menu, storage mark), records each frame, and
// queues the reply that its script gives for the frame. Replies follow the
// shapes the device sends: echo, value, status byte, storage mark.
//
// Also a log capture, for the texts the SDK writes.
#pragma once

#include "../SdkLogCapture.h"

#include "ports/InterfacePort.h"

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace scripted {

constexpr char ACK = '\x06';
constexpr char NAK = '\x15';
constexpr char ENQ = '\x05';

// The reply to a single query: echo, value, status, mark.
inline std::string ack(const std::string& echo, const std::string& value = "") { return echo + value + ACK + '!'; }
inline std::string nak(const std::string& echo) { return echo + NAK + '!'; }
inline std::string enq(const std::string& echo) { return echo + ENQ + '!'; }

// A P_INFO reply of "key:value" lines.
inline std::string pinfo(const std::vector<std::string>& lines, char status = ACK)
{
    std::string text = "P_INFO\r\n";
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text + status + '!';
}

struct Frame {
    char header = 0;  // 'M', 'Y', or 0 without header
    std::string address;
    std::string menu;
    std::string raw;
};

class ScriptedDevice : public InterfacePort {
public:
    // Replies by menu; a "Y:" or "M:" prefix makes a reply header-specific,
    // an "@address:" prefix address-specific ("@#2:P_INFO").
    std::map<std::string, std::string> replies;
    // Feature queries the device knows, for batches ("TRM?;CBLTBL?;..."):
    // each known query answers its key and ACK, each other one ENQ.
    std::set<std::string> features;
    // Menus without a reply: ENQ when true, silence when false.
    bool enqUnknown = true;
    // The device-type query's answer (none when empty).
    std::string deviceType;
    // Called with each frame as it arrives, before the reply is queued.
    std::function<void(const Frame&)> onFrame;
    // After this many frames the device is unplugged (-1: never).
    int vanishAfterFrames = -1;

    bool gone = false;
    // Writes of exactly these bytes (the host's preparation data) are
    // counted, not taken as part of a frame.
    std::string preparation;

    int preparationWrites() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_preparationWrites;
    }

    std::vector<Frame> frames() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_frames;
    }
    std::vector<std::string> menus() const
    {
        std::vector<std::string> out;
        for (const Frame& f : frames()) {
            out.push_back(f.menu);
        }
        return out;
    }
    std::size_t count(const std::string& menu) const
    {
        std::size_t n = 0;
        for (const Frame& f : frames()) {
            n += f.menu == menu ? 1 : 0;
        }
        return n;
    }
    std::size_t bytesWritten() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_bytesWritten;
    }

    int open(HANDLE) override { return 0; }
    int open(std::wstring) override { return 0; }
    int close() override { return 0; }
    int read(std::string& text) override
    {
        text.clear();
        std::lock_guard<std::mutex> lock(m_mutex);
        if (gone) {
            return 1167;
        }
        if (!m_pending.empty()) {
            text = m_pending.front();
            m_pending.pop_front();
        }
        return 0;
    }
    int read(unsigned char* buffer, int size, unsigned int* count) override
    {
        std::string text;
        const int rc = read(text);
        *count = 0;
        if (rc != 0) {
            return rc;
        }
        if (text.empty()) {
            return 1460;
        }
        const std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(size));
        std::copy(text.begin(), text.begin() + static_cast<long>(n), buffer);
        *count = static_cast<unsigned int>(n);
        return 0;
    }
    int write(const unsigned char* buffer, int length, unsigned int* count) override
    {
        if (count != nullptr) {
            *count = 0;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        if (gone) {
            return 1167;
        }
        m_bytesWritten += static_cast<std::size_t>(length);
        if (count != nullptr) {
            *count = static_cast<unsigned int>(length);
        }
        if (!preparation.empty() && std::string(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(length)) == preparation) {
            ++m_preparationWrites;
            return 0;
        }
        m_incoming.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(length));
        if (count != nullptr) {
            *count = static_cast<unsigned int>(length);
        }
        collectFrame();
        return 0;
    }
    int flush() override { return 0; }
    bool isOpened() override { return true; }
    int getLastError() override { return 0; }
    bool isDisconnected() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return gone;
    }
    HANDLE getHandle() override { return nullptr; }

private:
    void collectFrame()
    {
        const std::string& in = m_incoming;
        const bool deviceTypeQuery = in.rfind("\x16n,", 0) == 0;
        if (in.empty() || (deviceTypeQuery ? in.back() != '\r' : (in.back() != '!' && in.back() != '.' && in.back() != '@'))) {
            return;
        }
        Frame frame;
        frame.raw = in;
        std::string body = in;
        if (deviceTypeQuery) {
            frame.menu = body;
        } else {
            if (body.rfind("\x16M\r", 0) == 0 || body.rfind("\x16Y\r", 0) == 0) {
                frame.header = body[1];
                body.erase(0, 3);
            }
            if (!body.empty() && body[0] == ':') {
                const std::size_t end = body.find(':', 1);
                frame.address = body.substr(1, end - 1);
                body.erase(0, end + 1);
            }
            body.pop_back();
            frame.menu = body;
        }
        m_incoming.clear();
        m_frames.push_back(frame);
        if (onFrame) {
            onFrame(frame);
        }
        if (vanishAfterFrames >= 0 && static_cast<int>(m_frames.size()) > vanishAfterFrames) {
            gone = true;
            return;
        }
        const std::optional<std::string> reply = replyTo(frame, deviceTypeQuery);
        if (reply) {
            m_pending.push_back(*reply);
        }
    }

    std::optional<std::string> replyTo(const Frame& frame, bool deviceTypeQuery) const
    {
        if (deviceTypeQuery) {
            if (deviceType.empty()) {
                return std::nullopt;
            }
            return deviceType;
        }
        const std::string addressed = frame.address.empty() ? "" : "@" + frame.address + ":";
        std::vector<std::string> keys;
        if (frame.header != 0) {
            keys.push_back(addressed + frame.header + ":" + frame.menu);
        }
        keys.push_back(addressed + frame.menu);
        for (const std::string& key : keys) {
            const auto it = replies.find(key);
            if (it != replies.end()) {
                return it->second;
            }
        }
        if (frame.menu.find(';') != std::string::npos || features.count(frame.menu) != 0) {
            return batchReply(frame.menu);
        }
        if (enqUnknown) {
            return enq(frame.menu);
        }
        return std::nullopt;
    }

    std::string batchReply(const std::string& batch) const
    {
        std::string reply;
        std::size_t begin = 0;
        while (begin <= batch.size()) {
            std::size_t end = batch.find(';', begin);
            if (end == std::string::npos) {
                end = batch.size();
            }
            const std::string query = batch.substr(begin, end - begin);
            std::string key = query;
            if (!key.empty() && key.back() == '?') {
                key.pop_back();
            }
            if (!reply.empty()) {
                reply += ';';
            }
            reply += key + (features.count(query) != 0 ? std::string("1") + ACK : std::string(1, ENQ));
            begin = end + 1;
        }
        return reply + '!';
    }

    mutable std::mutex m_mutex;
    std::string m_incoming;
    std::deque<std::string> m_pending;
    std::vector<Frame> m_frames;
    std::size_t m_bytesWritten = 0;
    int m_preparationWrites = 0;
};

// Captures the SDK's log lines (the message part, "Class::method, text")
// of every level while it lives.
class LogCapture : public vxtest::SdkLogCapture {
public:
    explicit LogCapture(DWORD mask = 0xFFFF) : SdkLogCapture(mask) {}
    bool contains(const std::string& text) const { return count(text) > 0; }
};

}  // namespace scripted
