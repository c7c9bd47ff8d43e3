// What the targets that reach the registry or kernel objects share: a
// private registry and runtime folder under the current folder (removed at
// exit), and a reader that takes typed values from the fuzzer's bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

namespace vxfuzz {

// Points VX_REGISTRY and VX_RUNTIME_DIR at a folder of this process's own;
// call before the first registry or kernel-object use.
inline void usePrivateEnvironment(const char* name)
{
    static std::filesystem::path folder;
    std::error_code ec;
    folder = std::filesystem::current_path(ec) /
             (std::string(name) + "-" + std::to_string(std::random_device{}()) + ".private");
    std::filesystem::create_directories(folder / "run", ec);
    setenv("VX_REGISTRY", (folder / "registry.db").c_str(), 1);
    setenv("VX_RUNTIME_DIR", (folder / "run").c_str(), 1);
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    });
}

// Takes values from the front of the input; zeros once it is used up.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    std::uint8_t byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    std::uint32_t u32()
    {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value = (value << 8) | byte();
        return value;
    }
    // Up to `limit` bytes, as many as the next byte says (mod limit + 1).
    std::string text(std::size_t limit)
    {
        const std::size_t wanted = byte() % (limit + 1);
        const std::size_t count = std::min(wanted, m_size - m_at);
        std::string value(reinterpret_cast<const char*>(m_data + m_at), count);
        m_at += count;
        return value;
    }
    // Everything not yet taken.
    std::string rest()
    {
        std::string value(reinterpret_cast<const char*>(m_data + m_at), m_size - m_at);
        m_at = m_size;
        return value;
    }
    bool empty() const { return m_at >= m_size; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

}  // namespace vxfuzz
