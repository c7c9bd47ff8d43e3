// Reading a full-size DirectIO image (1,245,184 bytes, every buffer's room)
// out of the returned string in each BinaryConversion form, against a plain
// copy of the same bytes.
#include "DirectIOExchange.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kImageBytes = 1245184;

std::vector<BYTE> image()
{
    std::vector<BYTE> bytes(kImageBytes);
    std::uint32_t state = 0x12345678;
    for (BYTE& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<BYTE>(state >> 24);
    }
    return bytes;
}

// The string as the service object returns it in each form.
BSTR written(const std::vector<BYTE>& bytes, LONG binaryConversion)
{
    std::u16string text;
    for (BYTE b : bytes) {
        if (binaryConversion == 1) {
            text.push_back(static_cast<char16_t>((b >> 4) | 0x30));
            text.push_back(static_cast<char16_t>((b & 0x0F) | 0x30));
        } else if (binaryConversion == 2) {
            char digits[4];
            std::snprintf(digits, sizeof digits, "%03u", static_cast<unsigned>(b));
            text.append({char16_t(digits[0]), char16_t(digits[1]), char16_t(digits[2])});
        } else {
            text.push_back(b);
        }
    }
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

// The anchor: the same bytes copied, into a kept buffer (0) or into a new
// one each time (1), as a decoded image is.
void BM_CopyImageBytes(benchmark::State& state)
{
    const bool fresh = state.range(0) != 0;
    const std::vector<BYTE> source = image();
    std::vector<BYTE> kept(source.size());
    for (auto _ : state) {
        std::vector<BYTE> target;
        BYTE* into = kept.data();
        if (fresh) {
            target.resize(source.size());
            into = target.data();
        }
        std::memcpy(into, source.data(), source.size());
        benchmark::DoNotOptimize(into);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * source.size()));
}
BENCHMARK(BM_CopyImageBytes)->ArgName("NewBuffer")->Arg(0)->Arg(1);

void BM_DecodeDirectIOImage(benchmark::State& state)
{
    const LONG binaryConversion = static_cast<LONG>(state.range(0));
    const std::vector<BYTE> source = image();
    BSTR reply = written(source, binaryConversion);
    const LONG pData = static_cast<LONG>(SysStringLen(reply));
    if (DecodeImage(reply, pData, binaryConversion) != source)
        state.SkipWithError("decoded image differs");
    for (auto _ : state) {
        std::vector<BYTE> decoded = DecodeImage(reply, pData, binaryConversion);
        benchmark::DoNotOptimize(decoded.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * source.size()));
    SysFreeString(reply);
}
BENCHMARK(BM_DecodeDirectIOImage)->ArgName("BinaryConversion")->Arg(0)->Arg(1)->Arg(2);

}  // namespace
