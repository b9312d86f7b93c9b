#include "common/TextForms.h"
#include "fakes/CommaLocale.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace parlet {
namespace {

TEST(SignNumber, BlankInTheSignPlaceForNonNegative) {
    const test::CommaLocale comma; // the point stays the point
    const std::vector<std::pair<double, std::string>> cases = {{0, " 0"},
                                                               {1, " 1"},
                                                               {-1, "-1"},
                                                               {195.3125, " 195.3125"},
                                                               {-0.0, " 0"},
                                                               {0.1, " 0.1"},
                                                               {1.0 / 3, " 0.333333333333333"}};
    for (const auto &[value, text] : cases)
        EXPECT_EQ(signNumber(value), text) << value;
}

TEST(NumericValue, LeadingNumberWithBlanksIgnored) {
    const test::CommaLocale comma;
    const std::vector<std::pair<std::string, double>> cases = {
        {"", 0},     {"abc", 0},  {" 156.25", 156.25}, {"1 2 3", 123}, {"12abc", 12},
        {"- 4", -4}, {".5", 0.5}, {"1.2.3", 1.2},      {"1e3", 1000},  {"7e", 7},
        {"-", 0}};
    for (const auto &[text, value] : cases)
        EXPECT_DOUBLE_EQ(numericValue(text), value) << '"' << text << '"';
}

TEST(ToInt16, RoundsHalvesToEvenAndClamps) {
    EXPECT_EQ(toInt16(2.5), 2);
    EXPECT_EQ(toInt16(3.5), 4);
    EXPECT_EQ(toInt16(-2.5), -2);
    EXPECT_EQ(toInt16(99999), 32767);
    EXPECT_EQ(toInt16(-99999), -32768);
}

TEST(TimeDisplay, MinutesWithinTheHourAndRoundedSeconds) {
    EXPECT_EQ(timeDisplay(0), "0:00");
    EXPECT_EQ(timeDisplay(2.5), "2:30");
    EXPECT_EQ(timeDisplay(61.5), "1:30");
    EXPECT_EQ(timeDisplay(480.0 / 120 / 4), "1:00"); // 480 sixteenths at 120 bpm
    EXPECT_EQ(timeDisplay(1.5 / 60), "0:02");        // half a second rounds up
    EXPECT_EQ(timeDisplay(1.4 / 60), "0:01");
}

TEST(SeqTimeDisplay, HoursShownFromAnHourOn) {
    EXPECT_EQ(seqTimeDisplay(0), "0:00");
    EXPECT_EQ(seqTimeDisplay(65000), "1:05");
    EXPECT_EQ(seqTimeDisplay(3725000), "1:02:05");
    EXPECT_EQ(seqTimeDisplay(3599999), "59:59");
    EXPECT_EQ(seqTimeDisplay(3600000), "1:00:00");
}

TEST(PathHelpers, ExtractPathSplitsAtTheLastSeparator) {
    EXPECT_EQ(ExtractPath("C:\\data\\a.ocf"), "C:\\data");
    EXPECT_EQ(ExtractPath("a.ocf"), "a.ocf");
    EXPECT_EQ(ExtractPath("/home/u/a.mid"), "/home/u");
    EXPECT_EQ(ExtractPath("\\\\server\\share\\x.reg"), "\\\\server\\share");
}

TEST(PathHelpers, BackslashFixDoublesOnlyANetworkPrefix) {
    EXPECT_EQ(backslashFix("\\\\server\\share\\a.ocf"), "\\\\\\\\server\\share\\a.ocf");
    EXPECT_EQ(backslashFix("C:\\a.ocf"), "C:\\a.ocf");
    EXPECT_EQ(backslashFix("\\a.ocf"), "\\a.ocf");
    EXPECT_EQ(backslashFix(""), "");
}

} // namespace
} // namespace parlet
