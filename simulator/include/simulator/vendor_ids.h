// The maker's two USB vendor ids, as the build gives them to every target
// (VX_MAKER_USB_VENDOR_IDS in the top-level CMakeLists.txt). The simulated
// scanner's models present them; the host's port lists look for them.
#pragma once

#include <cstdint>

#if !defined(VX_MAKER_USB_VENDOR_ID_1) || !defined(VX_MAKER_USB_VENDOR_ID_2)
#error "the maker's USB vendor ids are a build setting (VX_MAKER_USB_VENDOR_IDS)"
#endif

namespace vxsim {

constexpr std::uint16_t kMakerVendorId1 = VX_MAKER_USB_VENDOR_ID_1;
constexpr std::uint16_t kMakerVendorId2 = VX_MAKER_USB_VENDOR_ID_2;

}  // namespace vxsim
