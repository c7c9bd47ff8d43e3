// The nine endings of a menu-command response, each a status byte followed
// by a storage mark, in this order:
//     ACK '@', ACK '!', ACK '.', NAK '@', NAK '!', NAK '.', ENQ '@', ENQ '!', ENQ '.'
// (ACK 0x06, NAK 0x15, ENQ 0x05). It is the SDK's default pattern list: the
// stream parser starts with a copy of it. Built when the library is loaded
// and never changed.
#pragma once

#include <string>
#include <vector>

const std::vector<std::string>& defaultMenuPatterns();
