#include "ProductInfoText.h"

#include "CProduct.h"

#include "base/CScanningSDK.h"
#include "base/StringUtils.h"

#include <cctype>
#include <climits>

namespace productinfo {

int readDecimal(const std::string& text)
{
    std::size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])) != 0) {
        ++at;
    }
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        negative = text[at] == '-';
        ++at;
    }
    // Accumulate towards the limit of the sign so that INT_MIN is reachable.
    long long value = 0;
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) != 0; ++at) {
        value = value * 10 + (text[at] - '0');
        if (value >= limit) {
            value = limit;
        }
    }
    return static_cast<int>(negative ? -value : value);
}

std::string trimLeadingSpaces(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first);
}

std::string lowerCase(std::string text)
{
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string upperCase(std::string text)
{
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

bool findValue(const KeyValues& values, const std::string& key, std::string* value)
{
    const auto it = values.find(key);
    if (it == values.end()) {
        return false;
    }
    if (value != nullptr) {
        *value = trimLeadingSpaces(it->second);
    }
    return true;
}

namespace {

struct IdentityKey {
    const char* key;
    const char* label;
    std::string CProduct::*member;  // null for "flash"
    bool onlyWhenEmpty;
};

const IdentityKey kIdentityKeys[] = {
    {"hw-sn", "serial num:", &CProduct::serialNumber, false},
    {"flash", "flash type:", nullptr, false},
    {"app-p_name", "Device Module:", &CProduct::name, false},
    {"boot-p_name", "Device Module:", &CProduct::name, true},
    {"app-m_name", "Device description:", &CProduct::description, false},
    {"boot-m_name", "Device description:", &CProduct::description, true},
    {"app-sw-rev", "app software part number", &CProduct::appSoftwarePartNumber, false},
    {"app-svn-tag", "app version", &CProduct::appVersion, false},
    {"app-date", "app date", &CProduct::appDate, false},
    {"app-time", "app time", &CProduct::appTime, false},
    {"boot-sw-rev", "boot software part number", &CProduct::bootSoftwarePartNumber, false},
    {"boot-svn-tag", "boot version", &CProduct::bootVersion, false},
    {"boot-date", "boot date", &CProduct::bootDate, false},
    {"boot-time", "boot time", &CProduct::bootTime, false},
};

}  // namespace

void applyIdentityKeys(CProduct& product, const KeyValues& values, const char* method)
{
    for (const IdentityKey& entry : kIdentityKeys) {
        if (entry.onlyWhenEmpty && !(product.*entry.member).empty()) {
            continue;
        }
        std::string value;
        if (!findValue(values, entry.key, &value)) {
            SDK_LOG(logbit::trace, method, std::string("In P_INFO, can't Find \"") + entry.label + "\"");
            continue;
        }
        if (entry.member == nullptr) {
            product.flashType = readDecimal(value);
        } else {
            product.*entry.member = value;
        }
        SDK_LOG(logbit::trace, method, entry.label + value);
    }
}

std::string singleQueryValue(const std::string& reply)
{
    if (reply.size() <= 8) {
        return std::string();
    }
    return reply.substr(6, reply.size() - 8);
}

std::vector<std::string> buildStampWords(const std::string& value)
{
    std::vector<std::string> words;
    splitString(value, " ", words, false);
    return words;
}

}  // namespace productinfo
