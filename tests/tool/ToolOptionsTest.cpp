#include "common/ToolOptions.h"

#include <gmock/gmock.h>

namespace parlet::options {
namespace {

DebugBoxes ticked(std::initializer_list<int> boxes) {
    DebugBoxes ticks{};
    for (int box : boxes)
        ticks[static_cast<std::size_t>(box)] = true;
    return ticks;
}

TEST(GetDebugSetting, OrsTheTickedBoxesIntoTheStartValue) {
    struct Case {
        std::int16_t start;
        DebugBoxes boxes;
        const char *text;
        std::int16_t mask;
    } cases[] = {
        {0, {}, "", 0},
        {0, ticked({0, 4}), " -d11", 0x11},
        {1, {}, " -d1", 1},
        {0x80, ticked({0, 1, 2, 3, 4, 5, 6, 7, 8}), " -d1FF", 0x1FF},
        {0x80, ticked({7}), " -d80", 0x80},
        {0, ticked({8}), " -d100", 0x100},
        {0, ticked({5}), " -d20", 0x20},
    };
    for (const auto &c : cases) {
        std::int16_t d = c.start;
        EXPECT_EQ(getDebugSetting(d, c.boxes), c.text);
        EXPECT_EQ(d, c.mask) << c.text;
    }
}

TEST(GetModuleSetting, ModuleOnlyWhenTickedAndFreeOptionsAfterABlank) {
    EXPECT_EQ(getModuleSetting(false, "0", ""), " ");
    EXPECT_EQ(getModuleSetting(true, "3", ""), " -m3 ");
    EXPECT_EQ(getModuleSetting(false, "3", "-x y"), " -x y");
    EXPECT_EQ(getModuleSetting(true, " 12 ", "-q"), " -m 12  -q");
}

struct CommandCase {
    const char *name;
    ToolCommand command;
    ToolFields fields;
    const char *line; // with devices 0 and 1, korrel
};

void PrintTo(const CommandCase &c, std::ostream *os) {
    *os << c.name;
}

ToolFields with(auto change) {
    ToolFields fields;
    change(fields);
    return fields;
}

class ToolCommandLines : public testing::TestWithParam<CommandCase> {};

TEST_P(ToolCommandLines, ReachTheToolExactly) {
    const auto &c = GetParam();
    EXPECT_EQ(toolCommandLine(false, 0, 1, toolOptions(c.command, c.fields)), c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, ToolCommandLines,
    testing::Values(
        CommandCase{"Version", ToolCommand::Version, {}, "korrel -i 0 -o 1 -P -V"},
        CommandCase{"Monitor", ToolCommand::Monitor,
                    with([](ToolFields &f) { f.moduleOnly = true, f.debug = ticked({0}); }),
                    "korrel -i 0 -o 1 -L"},
        CommandCase{"Reset", ToolCommand::Reset, {}, "korrel -i 0 -o 1 -R"},
        CommandCase{"VerifyModule3", ToolCommand::Verify,
                    with([](ToolFields &f) { f.moduleOnly = true, f.module = "3"; }),
                    "korrel -i 0 -o 1  -m3  -d1 -P -v"},
        CommandCase{"HaltDefaults", ToolCommand::Halt, {}, "korrel -i 0 -o 1   -H"},
        CommandCase{"RunWithFreeOptions", ToolCommand::Run,
                    with([](ToolFields &f) { f.otherOptions = "-q", f.debug = ticked({1}); }),
                    "korrel -i 0 -o 1  -q -d2 -E"},
        CommandCase{"ProgramParserDetails", ToolCommand::Program,
                    with([](ToolFields &f) { f.debug = ticked({8}); }),
                    "korrel -i 0 -o 1   -d100 -P -%"},
        CommandCase{"DiagDefaults", ToolCommand::DataDiag, {}, "korrel -i 0 -o 1  -P -D10"},
        // The data comparison box and box 7 ask for the same bit.
        CommandCase{"DiagBothDataBits", ToolCommand::DataDiag,
                    with([](ToolFields &f) { f.dispData = true, f.debug = ticked({7}); }),
                    "korrel -i 0 -o 1  -d80 -P -D10"},
        CommandCase{"DiagForever", ToolCommand::DataDiag, with([](ToolFields &f) {
                        f.diagCount = "-1", f.moduleOnly = true, f.otherOptions = "-q";
                    }),
                    "korrel -i 0 -o 1  -P -D-1"},
        CommandCase{"Download", ToolCommand::Download,
                    with([](ToolFields &f) { f.cfgFile = R"(C:\My Files\a.ocf)"; }),
                    R"(korrel -i 0 -o 1   -P "C:\My Files\a.ocf")"},
        CommandCase{"DownloadNetworkPath", ToolCommand::Download,
                    with([](ToolFields &f) { f.cfgFile = R"(\\srv\cfg\a.ocf)"; }),
                    R"(korrel -i 0 -o 1   -P "\\\\srv\cfg\a.ocf")"},
        CommandCase{"DownloadNoFile", ToolCommand::Download, {}, R"(korrel -i 0 -o 1   -P "")"},
        CommandCase{"DownloadModuleAndDebug", ToolCommand::Download, with([](ToolFields &f) {
                        f.moduleOnly = true, f.module = "2", f.debug = ticked({0, 4}),
                        f.cfgFile = "/home/u/a.ocf";
                    }),
                    R"(korrel -i 0 -o 1  -m2  -d11 -P "/home/u/a.ocf")"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ToolCommandLine, ToolNameAndDeviceNumbers) {
    EXPECT_EQ(toolCommandLine(true, 0, 0, "-P -V"), "korrel.bat -i 0 -o 0 -P -V");
    EXPECT_EQ(toolCommandLine(false, -1, -1, "-L"), "korrel -i-1 -o-1 -L");
    EXPECT_EQ(toolCommandLine(false, 12, 3, "-R"), "korrel -i 12 -o 3 -R");
}

TEST(RangeCount, LastMinusFirstPlusOneHeldIn16Bits) {
    struct Case {
        const char *first;
        const char *last;
        std::int16_t count;
    } cases[] = {
        {"0", "127", 128},      {"5", "5", 1},   {"1", "127", 127},     {"", "", 1},
        {"x", "3", 4},          {"1.5", "2", 2}, {"0", "1.5", 2}, // 2.5 halves to even
        {"0", "2.5", 4},        {"10", "3", -6}, {"0", "99999", 32767}, {"-99999", "99999", 32767},
        {"99999", "0", -32768},
    };
    for (const auto &c : cases)
        EXPECT_EQ(rangeCount(c.first, c.last), c.count) << c.first << " .. " << c.last;
}

TEST(RegistrationOptions, AllOrRange) {
    const DebugBoxes none{};
    EXPECT_EQ(registrationOptions(RegTransfer::Save, "", true, "0", "127", none, R"(C:\x.reg)"),
              R"( -m0 -n 128 -d1 -P -S "C:\x.reg")");
    // Without the range box the range fields are not read, whatever they hold.
    EXPECT_EQ(registrationOptions(RegTransfer::Save, "", false, "7", "x", none, R"(C:\x.reg)"),
              R"( -d1 -P -S "C:\x.reg")");
    EXPECT_EQ(
        registrationOptions(RegTransfer::Load, "-q", false, "0", "127", ticked({0, 2}), "/a b.reg"),
        R"(-q -d5 -P -U "/a b.reg")");
    EXPECT_EQ(registrationOptions(RegTransfer::Load, "", true, "5", "5", none, "r.reg"),
              R"( -m5 -n 1 -d1 -P -U "r.reg")");
}

TEST(CopyOptions, SourceTextFollowsTheCopyOptionDirectly) {
    const DebugBoxes none{};
    EXPECT_EQ(copyOptions("", "0", "1", "127", none), " -m1 -n 127 -d1 -P -C0");
    // After the source field lost the focus its text begins with the sign blank.
    EXPECT_EQ(copyOptions("", copyFromLeft("0"), "1", "127", none), " -m1 -n 127 -d1 -P -C 0");
    EXPECT_EQ(copyOptions("-q", copyFromLeft("200"), "3", "9", ticked({6})),
              "-q -m3 -n 7 -d41 -P -C 127");
}

TEST(RangeRules, TheFieldLeftWinsAndPullsTheOtherAlong) {
    struct Case {
        bool firstLeft;
        const char *first;
        const char *last;
        RangeTexts result;
    } cases[] = {
        {true, "200", "50", {"127", "127"}},
        {true, "200", "127", {"127", "127"}},
        {true, "20", "30", {"20", "30"}},
        {true, "abc", "30", {"0", "30"}},
        {true, "", "30", {"0", "30"}},
        {true, "-5", "30", {"0", "30"}},
        {true, " 7.5", "30", {"8", "30"}},
        {true, "99999", "30", {"127", "127"}},
        // The field not being edited keeps its text unless it must follow.
        {true, "5", "300", {"5", "300"}},
        {true, "5", " 9x", {"5", " 9x"}},
        {false, "20", "10", {"10", "10"}},
        {false, "20", "200", {"20", "127"}},
        {false, "0", "", {"0", "0"}},
        {false, "-3", "x", {"-3", "0"}},
        {false, "99999", "50", {"50", "50"}},
        {false, "0", "-99999", {"0", "0"}},
    };
    for (const auto &c : cases) {
        RangeTexts got =
            c.firstLeft ? firstFieldLeft(c.first, c.last) : lastFieldLeft(c.first, c.last);
        EXPECT_EQ(got.first, c.result.first) << c.firstLeft << " " << c.first << " " << c.last;
        EXPECT_EQ(got.last, c.result.last) << c.firstLeft << " " << c.first << " " << c.last;
    }
}

TEST(CopyFromLeft, ClampedWithTheSignBlank) {
    struct Case {
        const char *text;
        const char *result;
    } cases[] = {{"5", " 5"},     {"0", " 0"},       {"", " 0"},    {"-4", " 0"},
                 {"128", " 127"}, {"99999", " 127"}, {"2.5", " 2"}, {" 5", " 5"}};
    for (const auto &c : cases)
        EXPECT_EQ(copyFromLeft(c.text), c.result) << c.text;
}

} // namespace
} // namespace parlet::options
