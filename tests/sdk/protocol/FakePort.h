// A scripted stand-in for the device behind a port: reads answer the queued
// chunks (a chunk larger than the read's room is handed out in pieces) or
// "no data yet" (1460); every write is recorded and may trigger a scripted
// answer; the "gone" switch makes every call answer 1167.
#pragma once

#include "ports/InterfacePort.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class FakePort : public InterfacePort {
public:
    // Called after each recorded write with the bytes written; may push().
    std::function<void(const std::string&)> onWrite;
    // A write answers this code (and writes nothing) when not 0.
    std::atomic<int> writeResult{0};
    // While above 0, each write takes one off and fails with code 31,
    // writing nothing.
    std::atomic<int> failingWrites{0};
    std::atomic<int> flushResult{0};
    std::atomic<bool> gone{false};

    void push(const std::string& chunk)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_chunks.push_back(chunk);
    }
    std::vector<std::string> writes()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_writes;
    }
    std::string written()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::string all;
        for (const std::string& w : m_writes) {
            all += w;
        }
        return all;
    }
    bool drained()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_chunks.empty();
    }
    int flushes() const { return m_flushes.load(); }

    int open(HANDLE) override { return 0; }
    int open(std::wstring) override { return 0; }
    int close() override { return 0; }
    int read(std::string& text) override
    {
        text.clear();
        if (gone) {
            return 1167;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_chunks.empty()) {
            text = take(255);
        }
        return 0;
    }
    int read(unsigned char* buffer, int size, unsigned int* count) override
    {
        *count = 0;
        if (gone) {
            return 1167;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_chunks.empty()) {
            return 1460;
        }
        const std::string piece = take(static_cast<std::size_t>(size));
        std::copy(piece.begin(), piece.end(), buffer);
        *count = static_cast<unsigned int>(piece.size());
        return 0;
    }
    int write(const unsigned char* buffer, int length, unsigned int* count) override
    {
        if (count != nullptr) {
            *count = 0;
        }
        if (gone) {
            return 1167;
        }
        if (writeResult != 0) {
            return writeResult;
        }
        if (failingWrites > 0) {
            --failingWrites;
            return 31;
        }
        const std::string bytes(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(length));
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_writes.push_back(bytes);
        }
        if (count != nullptr) {
            *count = static_cast<unsigned int>(length);
        }
        if (onWrite) {
            onWrite(bytes);
        }
        return 0;
    }
    int flush() override
    {
        ++m_flushes;
        return flushResult;
    }
    bool isOpened() override { return true; }
    int getLastError() override { return 0; }
    bool isDisconnected() override { return gone; }
    HANDLE getHandle() override { return nullptr; }

private:
    std::string take(std::size_t room)
    {
        std::string& front = m_chunks.front();
        std::string piece = front.substr(0, room);
        if (piece.size() == front.size()) {
            m_chunks.pop_front();
        } else {
            front.erase(0, room);
        }
        return piece;
    }

    std::mutex m_mutex;
    std::deque<std::string> m_chunks;
    std::vector<std::string> m_writes;
    std::atomic<int> m_flushes{0};
};

// Wire helpers shared by the tests.
inline std::string synPacket(const std::string& payload, unsigned char second = 0xFE)
{
    std::string packet = "\x16";
    packet += static_cast<char>(second);
    const auto n = static_cast<unsigned int>(payload.size());
    for (int i = 0; i < 4; ++i) {
        packet += static_cast<char>((n >> (8 * i)) & 0xFF);
    }
    packet += '\r';
    return packet + payload;
}

// A barcode payload: prefix, the record's length (4 bytes, little-endian),
// then the record: code id, AIM letter and modifier, one skipped byte,
// label.
inline std::string barcodePayload(const std::string& label, char codeId = 'e', const std::string& aim = "E0")
{
    const std::string record = std::string(1, codeId) + aim + '\x00' + label;
    std::string payload = "MSGGET";
    const auto n = static_cast<unsigned int>(record.size());
    for (int i = 0; i < 4; ++i) {
        payload += static_cast<char>((n >> (8 * i)) & 0xFF);
    }
    return payload + record;
}

// A barcode packet whose header announces `outer` payload bytes, whatever
// the payload holds.
inline std::string packetClaiming(std::uint32_t outer, const std::string& payload, unsigned char second = 0xFE)
{
    std::string packet = synPacket(payload, second);
    for (int i = 0; i < 4; ++i) {
        packet[2 + i] = static_cast<char>((outer >> (8 * i)) & 0xFF);
    }
    return packet;
}
