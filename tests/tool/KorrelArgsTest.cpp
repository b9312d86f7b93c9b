// The stand-in tool reads what Parlet composes: lines built by the option builders, split by the
// Windows rules, must parse to the request they stand for.
#include "KorrelArgs.h"
#include "common/CommandLine.h"
#include "common/ToolOptions.h"

#include <gmock/gmock.h>

// Tables name only the fields a case sets; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace korrel {
namespace {

using namespace parlet::options;
using testing::HasSubstr;

ParseResult parseLine(const std::string &line) {
    auto words = parlet::splitCommandLine(line);
    words.erase(words.begin());
    return parseArgs(words);
}

std::string line(ToolCommand command, ToolFields fields = {}, int in = 0, int out = 1) {
    return toolCommandLine(false, in, static_cast<std::int16_t>(out), toolOptions(command, fields));
}

TEST(Korrel, AcceptsParletsLines) {
    const DebugBoxes none{};
    DebugBoxes box8{};
    box8[8] = true;
    const std::string p = "korrel -i 0 -o 1 ";
    const struct {
        std::string line;
        Operation operation;
        int in = 0, out = 1;
        std::optional<int> module{}, count{};
        std::uint32_t debug = 0;
        std::string path{};
        long long diagnosticCount = 0;
        int copyFrom = 0;
    } cases[] = {
        // clang-format off
        {line(ToolCommand::Version), Operation::Version},
        {"korrel.bat -i 0 -o 0 -P -V", Operation::Version, 0, 0},
        {line(ToolCommand::Monitor, {}, -1, -1), Operation::Monitor, -1, -1},
        {line(ToolCommand::Reset, {}, 12, 0), Operation::Reset, 12, 0},
        {line(ToolCommand::Run, {.otherOptions = "-d4"}), Operation::Run, 0, 1, {}, {}, 4},
        {line(ToolCommand::Verify, {.moduleOnly = true, .module = "3"}),
         Operation::VerifyExecutive, 0, 1, 3, {}, 1},
        {line(ToolCommand::Program, {.debug = box8}), Operation::ProgramExecutive, 0, 1, {}, {}, 0x100},
        {line(ToolCommand::DataDiag, {.dispData = true, .diagCount = "-1"}),
         Operation::DataDiagnostic, 0, 1, {}, {}, 0x80, "", -1},
        {line(ToolCommand::DataDiag), Operation::DataDiagnostic, 0, 1, {}, {}, 0, "", 10},
        {line(ToolCommand::Download, {.cfgFile = "/home/u/My Configs/loop.ocf"}),
         Operation::Download, 0, 1, {}, {}, 0, "/home/u/My Configs/loop.ocf"},
        {line(ToolCommand::Download, {.cfgFile = R"(\\srv\share\a.ocf)"}),
         Operation::Download, 0, 1, {}, {}, 0, R"(\\\\srv\share\a.ocf)"},
        {line(ToolCommand::Download), Operation::Download},
        {p + registrationOptions(RegTransfer::Save, "", true, "0", "127", none, R"(C:\x.reg)"),
         Operation::SaveRegistration, 0, 1, 0, 128, 1, R"(C:\x.reg)"},
        {p + registrationOptions(RegTransfer::Load, "", false, "0", "127", none, "/r/a b.reg"),
         Operation::LoadRegistration, 0, 1, {}, {}, 1, "/r/a b.reg"},
        {p + copyOptions("", "0", "1", "127", none), Operation::CopyRegistration, 0, 1, 1, 127, 1},
        {p + copyOptions("", " 5", "6", "9", none), Operation::CopyRegistration, 0, 1, 6, 4, 1, "", 0, 5},
        {p + "-d 1ff -R", Operation::Reset, 0, 1, {}, {}, 0x1FF},
        // clang-format on
    };
    for (const auto &c : cases) {
        const ParseResult parsed = parseLine(c.line);
        ASSERT_TRUE(parsed.request) << c.line << ": " << parsed.error;
        const Request &r = *parsed.request;
        EXPECT_EQ(std::tie(r.operation, r.inputDevice, r.outputDevice, r.module, r.count, r.debug,
                           r.path, r.diagnosticCount, r.copyFrom),
                  std::tie(c.operation, c.in, c.out, c.module, c.count, c.debug, c.path,
                           c.diagnosticCount, c.copyFrom))
            << c.line;
    }
}

TEST(Korrel, RejectsMalformedLinesWithAReason) {
    const struct {
        const char *line;
        const char *error; // a part of the message
    } cases[] = {
        {"korrel -i 0 -o 1 -P", "no operation"},
        {"korrel -i 0 -o 1 -Lx", "unknown option \"-Lx\""},
        {"korrel -i 0 -o 1 stray -R", "unexpected argument \"stray\""},
        {"korrel -i x -o 1 -R", "-i needs a number"},
        {"korrel -i-2 -o 1 -R", "out of range"},
        {"korrel -i 0 -o 1 -m -d1 -H", "-m needs a number, not \"-d1\""},
        {"korrel -i 0 -o 1 -m3.5 -H", "-m needs a number"},
        {"korrel -i 0 -o 1 -P -Dten", "-D needs a number"},
        {"korrel -i 0 -o 1 -P -D-2", "out of range"},
        {"korrel -i 0 -o 1 -dxyz -R", "hexadecimal"},
        {"korrel -i 0 -o 1 -P -S", "needs a registration file"},
        {"korrel -i 0 -o 1 -m0 -n 0 -P -S a.reg", "out of range"},
        {"korrel -i 0 -o 1 -m100 -n 50 -P -U a.reg", "past memory 127"},
        {"korrel -i 0 -o 1 -n 5 -R", "-n is only meaningful"},
        {"korrel -i 0 -o 1 -R -H", "more than one operation"},
        {"korrel -i 0 -o 1 -P -C200", "out of range"},
    };
    for (const auto &c : cases) {
        const ParseResult parsed = parseLine(c.line);
        EXPECT_FALSE(parsed.request) << c.line;
        EXPECT_THAT(parsed.error, HasSubstr(c.error)) << c.line;
    }
}

} // namespace
} // namespace korrel
