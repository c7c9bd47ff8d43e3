#include "FieldChecks.h"

#include <cstdlib>

int CheckString(const std::string& name)
{
    if (name.find_first_not_of(' ') == std::string::npos)
        return 1;
    if (name.find('\\') != std::string::npos)
        return 2;
    return 0;
}

int CheckTimeout(const std::string& text)
{
    for (const char c : text)
        if ((c < '0' || c > '9') && c != ' ')
            return 0;
    return 1;
}

bool IsValidTypedPort(const std::string& port)
{
    if (port.size() < 4 || port.size() > 6)
        return false;
    const std::string head = port.substr(0, 3);
    if (head != "com" && head != "hid" && head != "COM" && head != "HID")
        return false;
    for (std::size_t i = 3; i < port.size(); ++i)
        if (port[i] < '0' || port[i] > '9')
            return false;
    return true;
}

bool IsDigitString(const std::string& text, bool allowColon)
{
    if (text.empty())
        return false;
    for (const char c : text)
        if ((c < '0' || c > '9') && !(allowColon && c == ':'))
            return false;
    return true;
}

std::string TrimRight(const std::string& text)
{
    std::size_t end = text.size();
    while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r' ||
                       text[end - 1] == '\n' || text[end - 1] == '\v' || text[end - 1] == '\f'))
        --end;
    return text.substr(0, end);
}

int ToInt32(const std::string& text)
{
    return std::atoi(text.c_str());
}

double ToDouble(const std::string& text)
{
    return std::atof(text.c_str());
}

bool PortKeyAllowed(const std::string& before, char key, bool special, bool shift, const std::string& placeholder)
{
    if (special)
        return true;
    const auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    key = upper(key);
    if (before.empty() || before == placeholder)
        return key == 'C' || key == 'H';
    if (before.size() == 1) {
        const char first = upper(before[0]);
        return (first == 'C' && key == 'O') || (first == 'H' && key == 'I');
    }
    if (before.size() == 2) {
        const std::string two{upper(before[0]), upper(before[1])};
        return (two == "CO" && key == 'M') || (two == "HI" && key == 'D');
    }
    if (before.size() >= 3 && before.size() <= 5) {
        const std::string head = before.substr(0, 3);
        const bool prefix = head == "com" || head == "hid" || head == "COM" || head == "HID";
        return prefix && !shift && key >= '0' && key <= '9';
    }
    return false;
}
