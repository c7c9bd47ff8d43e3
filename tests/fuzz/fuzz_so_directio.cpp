// The DirectIO inputs a host hands the service object: the text of a menu
// pass-through (18) and of a time-out (19) in a string of any length and
// content, the byte buffer of the exported interface's DirectIO with any
// count, and the image encodings an answer is written in. Nothing may read
// or write past the caller's string or buffer.
//
// Input: byte 0 picks the path, bytes 1-4 the count, then the text.
#include "CCommonSO.h"
#include "CScannerWrapper.h"
#include "DirectIOText.h"
#include "FuzzSupport.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool ready = [] {
        vxfuzz::usePrivateEnvironment("fuzz_so_directio");
        // A host program's interface (type 1); the service stays closed.
        CScannerWrapper::ScannerInit(1, "0", "", "1", "0", "", "", "2", "250");
        return true;
    }();
    (void)ready;
    vxfuzz::Input in(data, size);
    const std::uint8_t path = in.byte();
    const long count = static_cast<long>(static_cast<std::int32_t>(in.u32()));
    const std::string text = in.rest();

    // The texts as DirectIO 18 and 19 read them from the caller's string.
    BSTR string = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                    static_cast<UINT>(text.size() / sizeof(OLECHAR)));
    const std::string command = DirectIOCommandText(string);
    const std::string name = DirectIOCommandName(command);
    const bool tooLong = DirectIOTooLongForAMenu(command);
    long long timeout = 0;
    DirectIOTimeoutValue(command, timeout);
    if (!name.empty() && name.size() != 6)
        __builtin_trap();
    (void)tooLong;
    const std::u16string answer = WidenDirectIOBytes(text);
    if (!WriteDirectIOAnswer(&string, answer) || SysStringLen(string) != answer.size())
        __builtin_trap();
    SysFreeString(string);

    switch (path % 4) {
    case 0: {
        // The exported interface's byte buffer, exactly as long as the
        // count says it is (a negative count: a buffer of the text).
        const std::size_t room = count >= 0 ? std::min<std::size_t>(static_cast<std::size_t>(count), 4096)
                                            : text.size();
        std::vector<unsigned char> buffer(room == 0 ? 1 : room);
        std::copy_n(text.begin(), std::min(text.size(), buffer.size()), buffer.begin());
        long n = count >= 0 ? static_cast<long>(room) : count;
        CScannerWrapper::ScannerDirectIO2(static_cast<long>(in.byte() % 24), &n, buffer.data());
        for (long command = 10; command <= 19; ++command) {
            long again = n >= 0 ? std::min<long>(n, static_cast<long>(room)) : n;
            CScannerWrapper::ScannerDirectIO2(command, &again, buffer.data());
        }
        break;
    }
    case 1: {
        BSTR value = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                       static_cast<UINT>(text.size() / sizeof(OLECHAR)));
        long n = count;
        for (long command : {18L, 19L, 10L, 5001L, -1L})
            CScannerWrapper::ScannerDirectIO(command, &n, &value);
        CScannerWrapper::ScannerDirectIO(18, &n, nullptr);
        SysFreeString(value);
        break;
    }
    case 2: {
        // The encodings of an image answer.
        const std::string nibbles = CCommonSO::ToNibbles(text);
        const std::string decimal = CCommonSO::ToDecimal(text);
        if (nibbles.size() != 2 * text.size() || decimal.size() != 3 * text.size())
            __builtin_trap();
        break;
    }
    default: {
        CCommonSO common;
        long number = count;
        std::string copy = text;
        common.DirectIO(static_cast<long>(count), &number, &copy);
        break;
    }
    }
    return 0;
}
