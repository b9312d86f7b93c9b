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

TEST(ToolCommandLine, EachButtonsLineReachesTheToolExactly) {
    using enum ToolCommand;
    const struct {
        ToolCommand command;
        ToolFields fields;
        const char *line; // with devices 0 and 1, korrel
    } cases[] = {
        {Version, {}, "korrel -i 0 -o 1 -P -V"},
        {Monitor, {.debug = ticked({0}), .moduleOnly = true}, "korrel -i 0 -o 1 -L"},
        {Reset, {}, "korrel -i 0 -o 1 -R"},
        {Verify, {.moduleOnly = true, .module = "3"}, "korrel -i 0 -o 1  -m3  -d1 -P -v"},
        {Halt, {}, "korrel -i 0 -o 1   -H"},
        {Run, {.debug = ticked({1}), .otherOptions = "-q"}, "korrel -i 0 -o 1  -q -d2 -E"},
        {Run,
         {.moduleOnly = true, .module = " 12 ", .otherOptions = "-q"},
         "korrel -i 0 -o 1  -m 12  -q -E"},
        {Program, {.debug = ticked({8})}, "korrel -i 0 -o 1   -d100 -P -%"},
        {DataDiag, {}, "korrel -i 0 -o 1  -P -D10"},
        // The data comparison box and box 7 ask for the same bit.
        {DataDiag, {.debug = ticked({7}), .dispData = true}, "korrel -i 0 -o 1  -d80 -P -D10"},
        {DataDiag,
         {.debug = ticked({0, 1, 2, 3, 4, 5, 6, 7, 8}), .dispData = true},
         "korrel -i 0 -o 1  -d1FF -P -D10"},
        {DataDiag,
         {.moduleOnly = true, .otherOptions = "-q", .diagCount = "-1"},
         "korrel -i 0 -o 1  -P -D-1"},
        {Download,
         {.cfgFile = R"(C:\My Files\a.ocf)"},
         R"(korrel -i 0 -o 1   -P "C:\My Files\a.ocf")"},
        {Download,
         {.cfgFile = R"(\\srv\cfg\a.ocf)"},
         R"(korrel -i 0 -o 1   -P "\\\\srv\cfg\a.ocf")"},
        {Download, {}, R"(korrel -i 0 -o 1   -P "")"},
        {Download,
         {.debug = ticked({0, 4}), .moduleOnly = true, .module = "2", .cfgFile = "/u/a.ocf"},
         R"(korrel -i 0 -o 1  -m2  -d11 -P "/u/a.ocf")"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(toolCommandLine(false, 0, 1, toolOptions(c.command, c.fields)), c.line);
    EXPECT_EQ(toolCommandLine(true, 0, 0, "-P -V"), "korrel.bat -i 0 -o 0 -P -V");
    EXPECT_EQ(toolCommandLine(false, -1, -1, "-L"), "korrel -i-1 -o-1 -L");
    EXPECT_EQ(toolCommandLine(false, 12, 3, "-R"), "korrel -i 12 -o 3 -R");
}

TEST(RangeCount, LastMinusFirstPlusOneHeldIn16Bits) {
    const struct {
        const char *first;
        const char *last;
        std::int16_t count;
    } cases[] = {
        {"0", "127", 128}, {"", "", 1},           {"x", "3", 4},
        {"1.5", "2", 2},   {"0", "2.5", 4}, // 2.5 halves to even
        {"10", "3", -6},   {"0", "99999", 32767}, {"99999", "0", -32768},
    };
    for (const auto &c : cases)
        EXPECT_EQ(rangeCount(c.first, c.last), c.count) << c.first << " .. " << c.last;
}

TEST(RegistrationAndCopyOptions, AllOrRange) {
    const DebugBoxes none{};
    EXPECT_EQ(registrationOptions(RegTransfer::Save, "", true, "0", "127", none, R"(C:\x.reg)"),
              R"( -m0 -n 128 -d1 -P -S "C:\x.reg")");
    // Without the range box the range fields are not read, whatever they hold.
    EXPECT_EQ(
        registrationOptions(RegTransfer::Load, "-q", false, "7", "x", ticked({0, 2}), "/a b.reg"),
        R"(-q -d5 -P -U "/a b.reg")");
    EXPECT_EQ(copyOptions("", "0", "1", "127", none), " -m1 -n 127 -d1 -P -C0");
    // After the source field lost the focus its text begins with the sign blank.
    EXPECT_EQ(copyOptions("", copyFromLeft("0"), "1", "127", none), " -m1 -n 127 -d1 -P -C 0");
    EXPECT_EQ(copyOptions("-q", copyFromLeft("200"), "3", "9", ticked({6})),
              "-q -m3 -n 7 -d41 -P -C 127");
}

TEST(RangeRules, TheFieldLeftWinsAndPullsTheOtherAlong) {
    const struct {
        bool firstLeft;
        const char *first;
        const char *last;
        RangeTexts result;
    } cases[] = {
        {true, "200", "50", {"127", "127"}},
        {true, "20", "30", {"20", "30"}},
        {true, "abc", "30", {"0", "30"}},
        {true, "-5", "30", {"0", "30"}},
        {true, " 7.5", "30", {"8", "30"}},
        {true, "99999", "30", {"127", "127"}},
        // The field not being edited keeps its text unless it must follow.
        {true, "5", " 9x", {"5", " 9x"}},
        {false, "20", "10", {"10", "10"}},
        {false, "20", "200", {"20", "127"}},
        {false, "-3", "x", {"-3", "0"}},
        {false, "0", "-99999", {"0", "0"}},
    };
    for (const auto &c : cases) {
        const RangeTexts got =
            c.firstLeft ? firstFieldLeft(c.first, c.last) : lastFieldLeft(c.first, c.last);
        EXPECT_EQ(got.first + "|" + got.last, c.result.first + "|" + c.result.last)
            << c.firstLeft << " " << c.first << " " << c.last;
    }
    const std::pair<const char *, const char *> copyFrom[] = {
        {"5", " 5"}, {"", " 0"}, {"-4", " 0"}, {"99999", " 127"}, {"2.5", " 2"}};
    for (const auto &[text, result] : copyFrom)
        EXPECT_EQ(copyFromLeft(text), result) << text;
}

} // namespace
} // namespace parlet::options
