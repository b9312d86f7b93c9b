#include "platform/AlsaMidi.h"
#include "platform/MidiBackend.h"

#include <gtest/gtest.h>

namespace parlet {
namespace {

TEST(MidiNames, AlsaNamesLoseOnlyTheirClientAndPortNumbers) {
    EXPECT_EQ(stableAlsaName("Midi Through:Midi Through Port-0 14:0"),
              "Midi Through:Midi Through Port-0");
    EXPECT_EQ(stableAlsaName("Keys:Port 3:4 128:12"), "Keys:Port 3:4"); // only the last pair
    EXPECT_EQ(stableAlsaName(""), "");
}

TEST(MidiNames, LongNamesAreCutToTheCapabilityFieldBetweenCharacters) {
    EXPECT_EQ(fitDeviceName(std::string(31, 'x')), std::string(31, 'x'));
    EXPECT_EQ(fitDeviceName(std::string(40, 'x')), std::string(31, 'x'));
    // "é" is two bytes; one starting at byte 30 would be cut in half, so it goes whole.
    EXPECT_EQ(fitDeviceName(std::string(30, 'a') + "\xC3\xA9z"), std::string(30, 'a'));
}

} // namespace
} // namespace parlet
