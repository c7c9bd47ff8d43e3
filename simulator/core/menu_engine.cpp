// The scanner's menu-command engine and data packets (see menu_engine.h).
#include "simulator/menu_engine.h"

#include <algorithm>
#include <cctype>

namespace vxsim {

namespace {

constexpr unsigned char kSyn = 0x16;
constexpr unsigned char kCr = 0x0D;
constexpr unsigned char kGs = 0x1D;
constexpr std::size_t kTagLength = 6;
// A frame that runs longer than this without a mark is line noise.
constexpr std::size_t kMaxFrame = 1024;

bool isMark(unsigned char b)
{
    return b == '!' || b == '.' || b == '@';
}

bool isPrintable(unsigned char b)
{
    return b >= 0x20 && b < 0x7F;
}

// Whether `text` starts with the six-character `tag`, in any case.
bool hasTag(const std::string& text, const char* tag)
{
    if (text.size() < kTagLength)
        return false;
    for (std::size_t i = 0; i < kTagLength; ++i) {
        if (std::toupper(static_cast<unsigned char>(text[i])) != tag[i])
            return false;
    }
    return true;
}

// The format a capture's parameters ask for ("2P8F": number-letter pairs,
// see menu_engine.h), none when they name none; false when the imager
// does not take them.
bool captureFormat(const std::string& parameters, std::optional<ImageFormat>& format)
{
    constexpr int kLargest = 999;
    std::size_t at = 0;
    while (at < parameters.size()) {
        int value = 0;
        std::size_t end = at;
        for (; end < parameters.size() && std::isdigit(static_cast<unsigned char>(parameters[end])); ++end) {
            value = value * 10 + (parameters[end] - '0');
            if (value > kLargest)
                return false;
        }
        if (end == at || end == parameters.size())
            return false;
        const int letter = std::toupper(static_cast<unsigned char>(parameters[end]));
        if (letter == 'F') {
            format = imageFormatOfCode(value);
            if (!format)
                return false;
        } else if (letter != 'P') {
            return false;
        }
        at = end + 1;
    }
    return true;
}

void appendLittleEndian(std::string& out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

void MenuEngine::reset()
{
    m_state = State::idle;
    m_header = kNoHeader;
    m_body.clear();
}

void MenuEngine::take(const unsigned char* bytes, std::size_t count, std::vector<std::vector<unsigned char>>& replies)
{
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char b = bytes[i];
        if (b == kSyn) {
            // A header always starts a new frame, whatever was collected.
            m_state = State::header;
            m_body.clear();
            continue;
        }
        switch (m_state) {
        case State::idle:
            if (isPrintable(b)) {
                m_header = kNoHeader;
                m_body.assign(1, static_cast<char>(b));
                m_state = State::bare;
                if (isMark(b))
                    reset();  // a lone mark is no command
            }
            break;
        case State::header:
            if (b == 'M' || b == 'Y') {
                m_header = static_cast<char>(b);
                m_state = State::headerCr;
            } else if (b == '1' || b == '0') {
                m_switch = static_cast<char>(b);
                m_state = State::rawSwitch;
            } else {
                m_state = b == 'n' ? State::deviceType : State::idle;
            }
            break;
        case State::deviceType:
            if (b == kCr) {
                const std::string text = "n" + m_body;
                reset();
                m_commands.push_back(text);
                if (!m_faults.silent && !m_silenced && !m_model.deviceType.empty())
                    replies.emplace_back(m_model.deviceType.begin(), m_model.deviceType.end());
            } else if (isPrintable(b)) {
                m_body.push_back(static_cast<char>(b));
                if (m_body.size() > kMaxFrame)
                    reset();
            }
            break;
        case State::headerCr:
            m_state = b == kCr ? State::body : State::idle;
            break;
        case State::rawSwitch:
            m_state = b == kCr ? State::rawSwitchCr : State::idle;
            break;
        case State::rawSwitchCr:
            m_state = State::idle;
            if (b == '.')
                finishSwitch(replies);
            break;
        case State::body:
        case State::bare:
            if (isMark(b)) {
                finishBody(b, replies);
                break;
            }
            if (!isPrintable(b))
                break;  // the host's handshake bytes are not part of a command
            m_body.push_back(static_cast<char>(b));
            if (m_body.size() > kMaxFrame) {
                reset();
                break;
            }
            if (m_state == State::bare) {
                const auto rule = std::find_if(m_model.rules.begin(), m_model.rules.end(), [&](const MenuRule& r) {
                    return r.unterminated && r.address.empty() && r.command == m_body;
                });
                if (rule != m_model.rules.end())
                    finishBody(0, replies);
            }
            break;
        }
    }
}

void MenuEngine::finishBody(unsigned char mark, std::vector<std::vector<unsigned char>>& replies)
{
    std::string address;
    std::string text = m_body;
    if (text.size() >= 2 && text[0] == ':') {
        const std::size_t close = text.find(':', 1);
        if (close != std::string::npos) {
            address = text.substr(1, close - 1);
            text = text.substr(close + 1);
        }
    }
    m_answering = m_header;
    reset();
    m_commands.push_back(address.empty() ? text : ":" + address + ":" + text);
    if (!m_faults.silentFrom.empty() && m_commands.back() == m_faults.silentFrom)
        m_silenced = true;
    answer(address, text, mark, replies);
}

void MenuEngine::finishSwitch(std::vector<std::vector<unsigned char>>& replies)
{
    const std::string text(1, m_switch);
    m_commands.push_back(text);
    if (!m_faults.silentFrom.empty() && text == m_faults.silentFrom)
        m_silenced = true;
    if (m_faults.silent || m_silenced)
        return;
    m_enabled = m_switch == '1';
    replies.push_back({static_cast<unsigned char>(m_switch), kMenuAck});
    if (m_enabled) {
        for (auto& label : m_heldLabels)
            replies.push_back(std::move(label));
        m_heldLabels.clear();
    }
}

const MenuRule* MenuEngine::findRule(const std::string& address, const std::string& text) const
{
    const MenuRule* any = nullptr;
    for (const MenuRule& r : m_model.rules) {
        if (r.command != text || r.address != address)
            continue;
        if (r.header == m_answering)
            return &r;
        if (r.header == 0 && any == nullptr)
            any = &r;
    }
    return any;
}

bool MenuEngine::answerOne(const std::string& address, const std::string& text, std::string& reply)
{
    if (const MenuRule* rule = findRule(address, text)) {
        if (rule->echo)
            reply += text;
        reply += rule->value;
        if (rule->withStatus)
            reply.push_back(static_cast<char>(rule->status));
        return rule->mark;
    }
    if (answerCapture(address, text, reply))
        return true;
    unsigned char status = m_model.refuseUnknown ? kMenuNak : kMenuEnq;
    std::string echo = text;
    std::string value;
    if (address.empty() && text.size() > 1 && text.back() == '?') {
        // A short tag ("TRM?") is queried by its whole name.
        const auto setting = m_model.settings.find(text.substr(0, text.size() - 1));
        if (setting != m_model.settings.end()) {
            echo = setting->first;
            value = setting->second;
            status = kMenuAck;
        }
    }
    if (status != kMenuAck && address.empty() && text.size() > kTagLength) {
        const auto setting = m_model.settings.find(text.substr(0, kTagLength));
        const std::string rest = text.substr(kTagLength);
        if (setting != m_model.settings.end() && rest == "?") {
            echo = setting->first;
            value = setting->second;
            status = kMenuAck;
        } else if (setting != m_model.settings.end() && rest.find('?') == std::string::npos) {
            setting->second = rest;
            status = kMenuAck;
        }
    }
    reply += echo + value;
    reply.push_back(static_cast<char>(status));
    return true;
}

bool MenuEngine::answerCapture(const std::string& address, const std::string& text, std::string& reply)
{
    const bool shot = hasTag(text, "IMGSHP");
    if (!m_model.image || !address.empty() || (!shot && !hasTag(text, "IMGSNP")))
        return false;
    unsigned char status = kMenuAck;
    if (shot) {
        std::optional<ImageFormat> asked;
        if (captureFormat(text.substr(kTagLength), asked)) {
            m_captureFormat = asked.value_or(m_captureFormat);
            const std::string& fixed = *m_model.image;
            const int code = static_cast<int>(m_captureFormat);
            m_pendingImage = image(fixed.empty() ? imagerImage(m_captureFormat) : fixed, code);
        } else {
            status = kMenuNak;
        }
    }
    reply += text;
    reply.push_back(static_cast<char>(status));
    return true;
}

void MenuEngine::answer(const std::string& address, const std::string& text, unsigned char mark,
                        std::vector<std::vector<unsigned char>>& replies)
{
    if (m_faults.silent || m_silenced)
        return;
    const unsigned char endMark = mark != 0 ? mark : '!';
    std::string reply;
    bool withMark = true;
    if (text.find(';') != std::string::npos && findRule(address, text) == nullptr) {
        // A batch: every command answered in turn, one mark for all.
        std::size_t begin = 0;
        for (;;) {
            const std::size_t end = text.find(';', begin);
            const std::string one = text.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
            if (begin != 0)
                reply.push_back(';');
            answerOne(address, one, reply);
            if (end == std::string::npos)
                break;
            begin = end + 1;
        }
    } else {
        withMark = answerOne(address, text, reply);
    }
    if (withMark)
        reply.push_back(static_cast<char>(endMark));
    // A captured image goes out before the reply that confirms the capture.
    if (!m_pendingImage.empty())
        replies.push_back(std::move(m_pendingImage));
    m_pendingImage.clear();
    replies.emplace_back(reply.begin(), reply.end());
}

bool MenuEngine::decodeHeader() const
{
    const auto setting = m_model.settings.find("DECHDR");
    return setting == m_model.settings.end() || setting->second != "0";
}

std::vector<unsigned char> MenuEngine::synPacket(const std::string& payload)
{
    std::string packet;
    packet.push_back(static_cast<char>(kSyn));
    packet.push_back(static_cast<char>(0xFE));
    appendLittleEndian(packet, static_cast<std::uint32_t>(payload.size()));
    packet.push_back(static_cast<char>(kCr));
    packet += payload;
    return {packet.begin(), packet.end()};
}

std::vector<unsigned char> MenuEngine::barcode(const std::string& label, char codeId, const std::string& aim) const
{
    if (!m_enabled) {
        m_heldLabels.push_back(packetOf(label, codeId, aim));
        return {};
    }
    return packetOf(label, codeId, aim);
}

std::vector<unsigned char> MenuEngine::packetOf(const std::string& label, char codeId, const std::string& aim) const
{
    if (!decodeHeader())
        return {label.begin(), label.end()};
    std::string record;
    record.push_back(codeId);
    record.push_back(aim.size() > 0 ? aim[0] : '\0');
    record.push_back(aim.size() > 1 ? aim[1] : '\0');
    record.push_back('\0');  // the spare byte the host skips
    record += label;
    std::string payload = "MSGGET";
    appendLittleEndian(payload, static_cast<std::uint32_t>(record.size()));
    return synPacket(payload + record);
}

std::vector<unsigned char> MenuEngine::image(const std::string& bytes, int format) const
{
    std::string payload = "IMGSHP";
    payload.push_back(static_cast<char>(format >= 0 && format <= 9 ? '0' + format : 'x'));
    payload.push_back('\0');
    payload.push_back(static_cast<char>(kGs));
    return synPacket(payload + bytes);
}

std::vector<std::vector<unsigned char>> MenuEngine::withFaults(std::vector<unsigned char> bytes, bool packet) const
{
    if (bytes.empty())
        return {};  // a label held back sends nothing, not even the garbage
    if (packet && m_faults.announcedLength && bytes.size() >= 7 && bytes[0] == kSyn) {
        for (int i = 0; i < 4; ++i)
            bytes[2 + i] = static_cast<unsigned char>((*m_faults.announcedLength >> (8 * i)) & 0xFF);
    }
    bytes.insert(bytes.begin(), m_faults.garbage.begin(), m_faults.garbage.end());
    std::vector<std::vector<unsigned char>> pieces;
    const std::size_t step = m_faults.splitEvery == 0 ? std::max<std::size_t>(bytes.size(), 1) : m_faults.splitEvery;
    for (std::size_t at = 0; at < bytes.size(); at += step)
        pieces.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                            bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), at + step)));
    return pieces;
}

std::vector<std::vector<unsigned char>> MenuEngine::replyPieces(const std::vector<unsigned char>& reply) const
{
    std::vector<std::vector<unsigned char>> pieces;
    if (m_faults.silent || reply.empty())
        return pieces;
    const std::size_t step = m_faults.splitEvery == 0 ? reply.size() : m_faults.splitEvery;
    for (std::size_t at = 0; at < reply.size(); at += step)
        pieces.emplace_back(reply.begin() + static_cast<std::ptrdiff_t>(at),
                            reply.begin() + static_cast<std::ptrdiff_t>(std::min(reply.size(), at + step)));
    return pieces;
}

}  // namespace vxsim
