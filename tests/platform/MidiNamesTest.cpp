#include "platform/AlsaMidi.h"
#include "platform/MidiBackend.h"

#include <gtest/gtest.h>

namespace parlet {
namespace {

TEST(MidiNames, AlsaNamesLoseTheirClientAndPortNumbers) {
    const struct {
        const char *rtMidi;
        const char *stable;
    } cases[] = {
        {"Midi Through:Midi Through Port-0 14:0", "Midi Through:Midi Through Port-0"},
        {"USB MIDI 2:USB MIDI 2 MIDI 1 128:12", "USB MIDI 2:USB MIDI 2 MIDI 1"},
        {"Synth 1:2 24:0", "Synth 1:2"}, // only the last pair is ALSA's
        {"Keys:Port 3:4 20:0", "Keys:Port 3:4"},
        {"", ""},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(stableAlsaName(c.rtMidi), c.stable) << c.rtMidi;
    }
}

TEST(MidiNames, LongNamesAreCutToTheCapabilityField) {
    EXPECT_EQ(fitDeviceName("short"), "short");
    EXPECT_EQ(fitDeviceName(std::string(31, 'x')), std::string(31, 'x'));
    EXPECT_EQ(fitDeviceName(std::string(40, 'x')), std::string(31, 'x'));
    // "é" is two bytes; one starting at byte 30 would be cut in half, so it goes whole.
    const std::string accented = std::string(30, 'a') + "\xC3\xA9" + "z";
    EXPECT_EQ(fitDeviceName(accented), std::string(30, 'a'));
}

TEST(MidiNames, ShortMessageLengths) {
    const struct {
        std::uint8_t status;
        unsigned length;
    } cases[] = {{0x00, 0}, {0x7F, 0}, {0x80, 3}, {0x9F, 3}, {0xAF, 3}, {0xB0, 3}, {0xC3, 2},
                 {0xD0, 2}, {0xE0, 3}, {0xF0, 0}, {0xF1, 2}, {0xF2, 3}, {0xF3, 2}, {0xF4, 0},
                 {0xF5, 0}, {0xF6, 1}, {0xF7, 0}, {0xF8, 1}, {0xF9, 1}, {0xFE, 1}, {0xFF, 1}};
    for (const auto &c : cases) {
        EXPECT_EQ(shortMessageLength(c.status), c.length) << int{c.status};
    }
}

} // namespace
} // namespace parlet
