// The scanner control called through IDispatch::Invoke, as an application
// (its methods and properties) and as a service object (its SO callbacks),
// with arguments of any type and number, by value and by reference: a wrong
// call is refused with an error, never a crash or a read through a null
// reference. The control is closed; an Open finds no device entry in the
// private registry and fails at once.
//
// Input: one call as InvokeArgs.h reads it, repeated while bytes are left.
#include "COPOSScannerCtrl.h"
#include "InvokeArgs.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static IDispatch* const control = [] {
        vxfuzz::usePrivateEnvironment("fuzz_control_invoke_args");
        void* object = nullptr;
        return SUCCEEDED(COPOSScannerCtrl::Create(IID_IDispatch, &object)) ? static_cast<IDispatch*>(object)
                                                                             : nullptr;
    }();
    static const std::vector<DISPID> ids = [] {
        std::vector<DISPID> all;
        for (DISPID id = -5; id <= 60; ++id)
            all.push_back(id);
        return all;
    }();
    if (control == nullptr)
        return 0;
    vxfuzz::Input in(data, size);
    for (int calls = 0; calls < 8 && !in.empty(); ++calls) {
        vxfuzz::InvokeCall call(in, ids);
        call.run(control);
    }
    return 0;
}
