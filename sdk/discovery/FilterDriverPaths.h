// The fixed names that shape the filter driver's paths, shared by the
// serial and HID lookups.
#pragma once

#include <cstddef>

namespace filterdriver {

// How the instance id of every filter-driver child begins (78 characters).
inline constexpr const char* kBusPrefix =
    "{91e7af5c-8de2-4342-806a-c87cd5541e9d}\\{2b78b334-a58f-4e88-8926-74aecf3219e8}\\";
inline constexpr std::size_t kBusPrefixLength = 78;

// The head of every management path.
inline constexpr const char* kQoxPathHead = "\\\\.\\{2ce3d77e-89ef-4ea6-9730-6fdf2a69508c}:";

}  // namespace filterdriver
