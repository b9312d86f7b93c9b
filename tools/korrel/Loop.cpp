#include "Loop.h"

#include "platform/MidiMessages.h"

#include <cstdio>

namespace korrel {
namespace {

// A packed word from the input holds one short message.
std::size_t lengthOf(std::uint8_t status) {
    return parlet::shortMessageLength(status);
}

std::string channelMessage(const Bytes &m) {
    const int channel = (m[0] & 0x0F) + 1;
    const std::string ch = "channel " + std::to_string(channel);
    auto data = [&](std::size_t i) { return i < m.size() ? std::to_string(m[i]) : "?"; };
    switch (m[0] & 0xF0) {
    case 0x80:
        return "Note Off  " + ch + "  note " + data(1) + "  velocity " + data(2);
    case 0x90:
        return "Note On  " + ch + "  note " + data(1) + "  velocity " + data(2);
    case 0xA0:
        return "Key Pressure  " + ch + "  note " + data(1) + "  pressure " + data(2);
    case 0xB0:
        return "Control Change  " + ch + "  controller " + data(1) + "  value " + data(2);
    case 0xC0:
        return "Program Change  " + ch + "  program " + data(1);
    case 0xD0:
        return "Channel Pressure  " + ch + "  pressure " + data(1);
    case 0xE0: {
        const int value = m.size() >= 3 ? (m[1] | (m[2] << 7)) - 8192 : 0;
        return "Pitch Bend  " + ch + "  value " + std::to_string(value);
    }
    default:
        return {};
    }
}

std::string systemMessage(const Bytes &m) {
    switch (m[0]) {
    case 0xF1:
        return "MTC Quarter Frame";
    case 0xF2:
        return "Song Position";
    case 0xF3:
        return "Song Select";
    case 0xF6:
        return "Tune Request";
    case 0xF8:
        return "Timing Clock";
    case 0xFA:
        return "Start";
    case 0xFB:
        return "Continue";
    case 0xFC:
        return "Stop";
    case 0xFE:
        return "Active Sensing";
    case 0xFF:
        return "System Reset";
    default:
        return "System message";
    }
}

bool isRealTime(const Bytes &m) {
    return !m.empty() && m[0] >= 0xF8;
}

} // namespace

Bytes unpack(std::uint32_t packed) {
    const auto status = static_cast<std::uint8_t>(packed & 0xFF);
    Bytes bytes;
    const std::size_t length = lengthOf(status);
    for (std::size_t i = 0; i < length; ++i)
        bytes.push_back(static_cast<std::uint8_t>((packed >> (8 * i)) & 0xFF));
    return bytes;
}

std::string hex(const Bytes &message) {
    std::string text;
    char digits[4];
    for (std::uint8_t byte : message) {
        std::snprintf(digits, sizeof digits, "%02X", byte);
        if (!text.empty())
            text += ' ';
        text += digits;
    }
    return text;
}

std::string decode(const Bytes &message) {
    if (message.empty())
        return "(empty)";
    std::string words = message[0] < 0xF0 ? channelMessage(message) : systemMessage(message);
    if (words.empty())
        words = "Data";
    return words + "  [" + hex(message) + "]";
}

Bytes RandomMessages::next() {
    static constexpr std::uint8_t kinds[] = {0x80, 0x90, 0xA0, 0xB0, 0xC0, 0xD0, 0xE0};
    std::uniform_int_distribution<int> kind(0, 6);
    std::uniform_int_distribution<int> channel(0, 15);
    std::uniform_int_distribution<int> data(0, 127);
    const auto status = static_cast<std::uint8_t>(kinds[kind(m_engine)] | channel(m_engine));
    Bytes message{status};
    for (std::size_t i = 1; i < lengthOf(status); ++i)
        message.push_back(static_cast<std::uint8_t>(data(m_engine)));
    if ((status & 0xF0) == 0x90 && message[2] == 0)
        message[2] = 1;
    return message;
}

DiagnosticResult runDiagnostic(DiagnosticLoop &loop, RandomMessages &messages, long long count,
                               bool showData, bool progress, std::ostream &out) {
    DiagnosticResult result;
    for (long long i = 0; (count < 0 || i < count) && !loop.stop(); ++i) {
        const Bytes sent = messages.next();
        loop.send(sent);
        ++result.sent;
        std::optional<Bytes> back;
        do {
            back = loop.receive(loop.timeout);
        } while (back && isRealTime(*back)); // clocks and sensing are not the loop's answer
        const long long number = i + 1;
        if (!back) {
            ++result.lost;
            out << "Message " << number << ": nothing came back";
            if (showData)
                out << " (sent " << hex(sent) << ")";
            out << std::endl;
        } else if (*back != sent) {
            ++result.differed;
            out << "Message " << number << ": data differs";
            if (showData)
                out << ": sent " << hex(sent) << ", received " << hex(*back);
            out << std::endl;
        } else {
            ++result.unchanged;
            if (progress)
                out << "Message " << number << ": " << decode(sent) << " came back unchanged"
                    << std::endl;
        }
    }
    out << result.sent << " messages sent: " << result.unchanged << " came back unchanged, "
        << result.differed << " differed, " << result.lost << " lost." << std::endl;
    return result;
}

} // namespace korrel
