#include "common/ToolOptions.h"

#include <gmock/gmock.h>

// Tables name only the fields a case sets; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace parlet::options {

static DebugBoxes ticked(std::initializer_list<int> boxes) {
    DebugBoxes ticks{};
    for (int box : boxes)
        ticks[static_cast<std::size_t>(box)] = true;
    return ticks;
}

// Every button's line with all fields set is checked through the window; these are the defaults
// and the texts that travel unchanged.
TEST(ToolOptions, DefaultsAndTextsAsTyped) {
    using enum ToolCommand;
    const std::tuple<ToolCommand, ToolFields, const char *> cases[] = {
        {Halt, {}, "  -H"},
        {Run, {.moduleOnly = true, .module = " 12 ", .otherOptions = "-q"}, " -m 12  -q -E"},
        // The data comparison box and box 7 ask for the same bit.
        {DataDiag, {.debug = ticked({7}), .dispData = true}, " -d80 -P -D10"},
        {Download, {}, R"(  -P "")"},
    };
    for (const auto &[command, fields, options] : cases)
        EXPECT_EQ(toolOptions(command, fields), options);
}

// Save, load and copy with the default fields are checked through the window.
TEST(RegistrationOptions, CountsAndFreeOptions) {
    EXPECT_EQ(copyOptions("-q", " 127", "3", "9", ticked({6})), "-q -m3 -n 7 -d41 -P -C 127");
    // The count is the fields' numeric values, rounded halves to even, held in 16 bits.
    EXPECT_EQ(copyOptions("", "0", "0", "2.5", {}), " -m0 -n 4 -d1 -P -C0");
    EXPECT_EQ(copyOptions("", "0", "10", "x3", {}), " -m10 -n-9 -d1 -P -C0");
}

TEST(RangeRules, TheFieldLeftWinsAndPullsTheOtherAlong) {
    const std::tuple<bool, const char *, const char *, const char *> cases[] = {
        {true, "abc", "30", "0|30"},
        {true, " 7.5", "30", "8|30"},
        // The field not being edited keeps its text unless it must follow.
        {true, "5", " 9x", "5| 9x"},
        {false, "0", "-99999", "0|0"},
    };
    for (const auto &[firstLeft, first, last, result] : cases) {
        const RangeTexts got = firstLeft ? firstFieldLeft(first, last) : lastFieldLeft(first, last);
        EXPECT_EQ(got.first + "|" + got.last, result) << first << " " << last;
    }
    using Texts = std::pair<const char *, const char *>;
    for (auto [text, result] : {Texts{"", " 0"}, Texts{"-4", " 0"}, Texts{"99999", " 127"}})
        EXPECT_EQ(copyFromLeft(text), result) << text;
}

} // namespace parlet::options
