#include "common/ToolOptions.h"

#include <gmock/gmock.h>

// Tables name only the fields a case sets; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace parlet::options {
namespace {

DebugBoxes ticked(std::initializer_list<int> boxes) {
    DebugBoxes ticks{};
    for (int box : boxes)
        ticks[static_cast<std::size_t>(box)] = true;
    return ticks;
}

// Every button's line with all fields set is checked through the window; these are the defaults
// and the texts that must travel unchanged.
TEST(ToolOptions, EachCommandsOptionsReachTheToolExactly) {
    using enum ToolCommand;
    const struct {
        ToolCommand command;
        ToolFields fields;
        const char *options;
    } cases[] = {
        {Version, {.moduleOnly = true}, "-P -V"},
        {Halt, {}, "  -H"},
        {Verify, {.moduleOnly = true, .module = "3"}, " -m3  -d1 -P -v"},
        {Run, {.moduleOnly = true, .module = " 12 ", .otherOptions = "-q"}, " -m 12  -q -E"},
        // The data comparison box and box 7 ask for the same bit.
        {DataDiag, {.debug = ticked({7}), .dispData = true}, " -d80 -P -D10"},
        {Download, {.cfgFile = R"(\\srv\cfg\a.ocf)"}, R"(  -P "\\\\srv\cfg\a.ocf")"},
        {Download, {}, R"(  -P "")"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(toolOptions(c.command, c.fields), c.options);
    EXPECT_EQ(toolCommandLine(true, -1, 12, "-L"), "korrel.bat -i-1 -o 12 -L");
}

// Save, load and copy with the default fields are checked through the window.
TEST(RegistrationOptions, CountsAndFreeOptions) {
    const DebugBoxes none{};
    const std::pair<std::string, const char *> cases[] = {
        {copyOptions("-q", " 127", "3", "9", ticked({6})), "-q -m3 -n 7 -d41 -P -C 127"},
        // The count is the fields' numeric values, rounded halves to even, held in 16 bits.
        {copyOptions("", "0", "0", "2.5", none), " -m0 -n 4 -d1 -P -C0"},
        {copyOptions("", "0", "10", "x3", none), " -m10 -n-9 -d1 -P -C0"},
        {copyOptions("", "0", "0", "99999", none), " -m0 -n 32767 -d1 -P -C0"},
        {copyOptions("", "0", "99999", "0", none), " -m99999 -n-32768 -d1 -P -C0"},
    };
    for (const auto &[options, expected] : cases)
        EXPECT_EQ(options, expected);
}

TEST(RangeRules, TheFieldLeftWinsAndPullsTheOtherAlong) {
    const struct {
        bool firstLeft;
        const char *first, *last, *result;
    } cases[] = {
        {true, "200", "50", "127|127"},
        {true, "abc", "30", "0|30"},
        {true, " 7.5", "30", "8|30"},
        {true, "99999", "30", "127|127"},
        // The field not being edited keeps its text unless it must follow.
        {true, "5", " 9x", "5| 9x"},
        {false, "20", "10", "10|10"},
        {false, "-3", "x", "-3|0"},
        {false, "0", "-99999", "0|0"},
    };
    for (const auto &c : cases) {
        const RangeTexts got =
            c.firstLeft ? firstFieldLeft(c.first, c.last) : lastFieldLeft(c.first, c.last);
        EXPECT_EQ(got.first + "|" + got.last, c.result) << c.first << " " << c.last;
    }
    const std::pair<const char *, const char *> copyFrom[] = {
        {"5", " 5"}, {"", " 0"}, {"-4", " 0"}, {"99999", " 127"}, {"2.5", " 2"}};
    for (const auto &[text, result] : copyFrom)
        EXPECT_EQ(copyFromLeft(text), result) << text;
}

} // namespace
} // namespace parlet::options
