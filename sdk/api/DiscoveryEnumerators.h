// How the discovery facade makes its device enumerators, one per kind of
// interface. Not part of the public facade: the SDK's own tests replace the
// maker to run enumerators that fail in ways no device can make them fail
// (an exception, say).
//
// The maker is one per process. Replace it only while no enumerate runs;
// every enumerate takes a copy of the maker when it starts.
#pragma once

#include "api/CDiscoveryTemplate.h"
#include "discovery/CDeviceEnumerator.h"

#include <functional>
#include <memory>
#include <vector>

class CDevice;

enum class DiscoveryEnumeratorKind { usbHid, rs232, usbSerial, otherSerial };

// Neither pointer is owned; both outlive the enumerator made on them.
using DiscoveryEnumeratorMaker = std::function<std::unique_ptr<CDeviceEnumerator>(
    DiscoveryEnumeratorKind kind, const CDiscoveryTemplate* discoveryTemplate, std::vector<CDevice*>* devices)>;

// The maker in force: the SDK's own enumerators unless replaced.
DiscoveryEnumeratorMaker discoveryEnumeratorMaker();
// Replaces the maker; an empty one restores the SDK's own.
void setDiscoveryEnumeratorMaker(DiscoveryEnumeratorMaker maker);
