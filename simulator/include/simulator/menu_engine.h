// The scanner's menu-command engine and its data packets, without any I/O:
// takes the bytes of the host's command stream, answers the menu commands it
// finds, and builds the byte stream of a scanned label or a captured image.
// The serial port and the HID interface both feed it and send what it gives.
//
// Command frames (host to device):
//     [SYN 'M' CR | SYN 'Y' CR] [':' address ':'] text mark
// where the mark is '!' (this session), '.' (stored) or '@' (stored as the
// default). A frame without a header starts at the first printable byte
// after the last frame. A frame with a header but no mark is never
// answered; one without a header and without a mark is answered only when
// a rule marks its text as unterminated.
//
// A batch is several commands in one frame, separated by ';'
// ("TRM?;CBLTBL?;BASLDA!"): each is answered as alone, without its mark,
// and the answers go back joined by ';' and ended by the frame's mark.
//
// The device-type query (SYN 'n' ',' text CR) is answered with the model's
// device-type text alone, or not at all when the model has none.
//
// The raw switches SYN '1' CR '.' (enable) and SYN '0' CR '.' (disable) are
// answered '1' ACK and '0' ACK. A scanner starts enabled; while it is
// disabled it reads no label: barcode() gives nothing and keeps the label,
// and the enable switch's answer is followed by the labels kept meanwhile.
//
// An imager (MenuModel::image set) answers the capture commands IMGSNP...
// and IMGSHP... (the tag in any case) with ACK, and an IMGSHP command first
// sends the image packet. IMGSHP takes parameters as number-letter pairs
// ("IMGSHP2P8F", the letter in any case): nF asks for format n (1 TIFF
// binary, 3 TIFF grey, 6 JPEG, 8 BMP; see imager_images.h), nP is taken and
// changes nothing. A capture without nF ships the format of the last one
// that named it, JPEG before any did; so a lone "IMGSHP" ships an image.
// Another format number, another letter, or a number without a letter is
// refused with NAK and ships nothing.
//
// Replies (device to host): [echo] value status mark, where the status is
// ACK (0x06), NAK (0x15) or ENQ (0x05) and the mark repeats the command's.
// By default the first six characters of a command name a setting (its
// tag): the tag followed by '?' ("DECHDR?") answers the echo of the tag and
// the setting's value; the tag followed by a value ("DECHDR0") stores the
// value and answers the echo of the whole command. Rules override the answer of one
// exact command. An unknown command is answered with ENQ, or NAK when the
// model refuses unknown commands.
//
// Data packets (device to host), when the decode header is on:
//     SYN 0xFE length(4 bytes, little-endian) CR payload
// with the payload "MSGGET", 4 header bytes (the record's length,
// little-endian), the code identifier, the AIM letter and modifier, one
// spare byte and the label; or "IMGSHP", the format digit, one spare byte,
// GS and the image. With the decode header off a label goes out alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "simulator/imager_images.h"

namespace vxsim {

constexpr unsigned char kMenuAck = 0x06;
constexpr unsigned char kMenuNak = 0x15;
constexpr unsigned char kMenuEnq = 0x05;

// The answer to one exact command.
struct MenuRule {
    std::string command;  // the text between the address and the mark
    std::string address;  // the hub address the rule answers for ("" the device itself)
    std::string value;    // the answer text after the echo
    unsigned char status = kMenuAck;
    bool echo = true;          // the command text first
    bool mark = true;          // the command's mark last ('!' when it had none)
    bool withStatus = true;    // the status byte before the mark
    bool unterminated = false; // answered without a mark from the host (frames without a header)
    // The frame header the rule answers for: 'M', 'Y', kNoHeader, or 0 for
    // any. A rule for the frame's own header wins over one for any header.
    char header = 0;
};

// MenuRule::header of a frame without a header.
constexpr char kNoHeader = '-';

struct MenuModel {
    // Setting tag (six characters) to value; a query or a change of a tag
    // that is not here is an unknown command.
    std::map<std::string, std::string> settings = {
        {"DECHDR", "1"}, {"232BAD", "5"}, {"BEPLVL", "2"}, {"UPACKX", "1"}, {"UPECKX", "1"},
        {"E13CKX", "1"}, {"EA8CKX", "1"}, {"OPSADM", "0"}, {"C39ENA", "1"}};
    std::vector<MenuRule> rules;
    bool refuseUnknown = false;  // NAK in place of ENQ
    // The answer to the device-type query, sent as it is (empty: none).
    std::string deviceType;
    // Set: an imager. Empty: it ships the test picture in the format each
    // capture asks for (imagerImage()); other bytes: it ships those as they
    // are, whatever the format.
    std::optional<std::string> image;
};

// Faults the device can put into what it sends.
struct DataFaults {
    // Bytes sent in front of every data packet.
    std::string garbage;
    // Cut every packet and every reply into pieces of this many bytes, each
    // sent on its own (0: whole).
    std::size_t splitEvery = 0;
    // The length a packet header announces instead of the true one.
    std::optional<std::uint32_t> announcedLength;
    // Answers no menu command at all.
    bool silent = false;
    // Falls silent from the first command received as this text on (as
    // commands() lists it, ":addr:text" for an addressed one); empty: never.
    std::string silentFrom;
};

class MenuEngine {
public:
    explicit MenuEngine(MenuModel model = MenuModel()) : m_model(std::move(model)) {}

    // Takes bytes of the host's command stream; appends every complete
    // reply to `replies` (one entry per reply, before faults).
    void take(const unsigned char* bytes, std::size_t count, std::vector<std::vector<unsigned char>>& replies);
    // True between frames (no header or bare text is being collected).
    bool idle() const { return m_state == State::idle; }
    // Forgets a partly received frame.
    void reset();

    // The stream of one label as the device sends it (decode header on or
    // off); faults not applied.
    std::vector<unsigned char> barcode(const std::string& label, char codeId = 'd', const std::string& aim = "E0") const;
    std::vector<unsigned char> image(const std::string& bytes, int format = 3) const;
    // `bytes` with the data faults applied: garbage in front, the announced
    // length replaced (for a SYN-framed packet), cut into pieces.
    std::vector<std::vector<unsigned char>> withFaults(std::vector<unsigned char> bytes, bool packet) const;
    // Replies cut as the faults say (none when silent).
    std::vector<std::vector<unsigned char>> replyPieces(const std::vector<unsigned char>& reply) const;

    bool decodeHeader() const;
    // Whether the scanner reads labels (the raw switches change it).
    bool enabled() const { return m_enabled; }
    void setEnabled(bool enabled) { m_enabled = enabled; }
    void setModel(MenuModel model) { m_model = std::move(model); }
    const MenuModel& model() const { return m_model; }
    void setFaults(DataFaults faults)
    {
        m_faults = std::move(faults);
        m_silenced = false;
    }
    const DataFaults& faults() const { return m_faults; }
    // Every command text received, in order, with its address as
    // ":addr:text" when it had one; a batch is one entry; the device-type
    // query is "n," and its text.
    const std::vector<std::string>& commands() const { return m_commands; }

    // A SYN-framed packet around `payload`.
    static std::vector<unsigned char> synPacket(const std::string& payload);

private:
    enum class State { idle, header, headerCr, body, bare, deviceType, rawSwitch, rawSwitchCr };
    void finishSwitch(std::vector<std::vector<unsigned char>>& replies);
    std::vector<unsigned char> packetOf(const std::string& label, char codeId, const std::string& aim) const;
    void answer(const std::string& address, const std::string& text, unsigned char mark,
                std::vector<std::vector<unsigned char>>& replies);
    // One command's answer without its mark; false when the rule that
    // answers it asks for no mark.
    bool answerOne(const std::string& address, const std::string& text, std::string& reply);
    // An imager's answer to a capture command; false: `text` is none.
    bool answerCapture(const std::string& address, const std::string& text, std::string& reply);
    const MenuRule* findRule(const std::string& address, const std::string& text) const;
    void finishBody(unsigned char mark, std::vector<std::vector<unsigned char>>& replies);

    MenuModel m_model;
    DataFaults m_faults;
    State m_state = State::idle;
    char m_header = kNoHeader;     // the header of the frame being collected
    char m_answering = kNoHeader;  // the header of the frame being answered
    std::string m_body;
    std::vector<std::string> m_commands;
    bool m_silenced = false;  // DataFaults::silentFrom was received
    bool m_enabled = true;
    std::vector<unsigned char> m_pendingImage;  // sent ahead of the reply being built
    ImageFormat m_captureFormat = kDefaultImageFormat;  // of a capture that names none
    char m_switch = '1';
    // Labels read while disabled wait for the enable switch. barcode() is a
    // reading, which the scanners make through a const engine.
    mutable std::vector<std::vector<unsigned char>> m_heldLabels;
};

}  // namespace vxsim
