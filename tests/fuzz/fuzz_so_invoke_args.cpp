// The service object's scanner and imager classes called through
// IDispatch::Invoke with arguments of any type and number, by value and by
// reference: a wrong call is refused with an error, never a crash, a read
// through a null reference or a leak. The service is closed (nothing is
// found without a device entry), so each call stays cheap.
//
// Input: byte 0 picks the class, then one call as InvokeArgs.h reads it,
// repeated while bytes are left.
#include "CImagerSO.h"
#include "CScannerSO.h"
#include "InvokeArgs.h"

#include <cstddef>
#include <cstdint>

namespace {

IDispatch* create(HRESULT (*factory)(REFIID, void**))
{
    void* object = nullptr;
    return SUCCEEDED(factory(IID_IDispatch, &object)) ? static_cast<IDispatch*>(object) : nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static IDispatch* const objects[2] = {[] {
                                              vxfuzz::usePrivateEnvironment("fuzz_so_invoke_args");
                                              return create(&CScannerSO::Create);
                                          }(),
                                          create(&CImagerSO::Create)};
    static const std::vector<DISPID> ids = [] {
        std::vector<DISPID> all;
        for (DISPID id = -1; id <= 24; ++id)
            all.push_back(id);
        return all;
    }();
    vxfuzz::Input in(data, size);
    IDispatch* object = objects[in.byte() % 2];
    if (object == nullptr)
        return 0;
    for (int calls = 0; calls < 8 && !in.empty(); ++calls) {
        vxfuzz::InvokeCall call(in, ids);
        call.run(object);
    }
    return 0;
}
