// The stand-in tool reads what Parlet composes: lines built by the option builders, split by the
// Windows rules, must parse to the request they stand for.
#include "KorrelArgs.h"
#include "common/CommandLine.h"
#include "common/ToolOptions.h"

#include <gmock/gmock.h>

namespace korrel {
namespace {

ParseResult parseLine(const std::string &line) {
    auto words = parlet::splitCommandLine(line);
    words.erase(words.begin());
    return parseArgs(words);
}

struct Expect {
    Operation operation;
    int in = 0;
    int out = 1;
    std::optional<int> module{};
    std::optional<int> count{};
    std::uint32_t debug = 0;
    std::string path{};
    long long diagnosticCount = 0;
    int copyFrom = 0;
};

struct LineCase {
    std::string line;
    Expect expect;
};

void PrintTo(const LineCase &c, std::ostream *os) {
    *os << c.line;
}

class KorrelAccepts : public testing::TestWithParam<LineCase> {};

TEST_P(KorrelAccepts, ParlersLines) {
    const auto &c = GetParam();
    const ParseResult parsed = parseLine(c.line);
    ASSERT_TRUE(parsed.request) << parsed.error;
    const Request &r = *parsed.request;
    EXPECT_EQ(r.operation, c.expect.operation);
    EXPECT_EQ(r.inputDevice, c.expect.in);
    EXPECT_EQ(r.outputDevice, c.expect.out);
    EXPECT_EQ(r.module, c.expect.module);
    EXPECT_EQ(r.count, c.expect.count);
    EXPECT_EQ(r.debug, c.expect.debug);
    EXPECT_EQ(r.path, c.expect.path);
    EXPECT_EQ(r.diagnosticCount, c.expect.diagnosticCount);
    EXPECT_EQ(r.copyFrom, c.expect.copyFrom);
}

using parlet::options::ToolCommand;
using parlet::options::ToolFields;

std::string line(ToolCommand command, ToolFields fields = {}, int in = 0, int out = 1,
                 bool bat = false) {
    return parlet::options::toolCommandLine(bat, in, static_cast<std::int16_t>(out),
                                            parlet::options::toolOptions(command, fields));
}

ToolFields fields(auto change) {
    ToolFields f;
    change(f);
    return f;
}

const parlet::options::DebugBoxes kNoDebug{};

INSTANTIATE_TEST_SUITE_P(
    Lines, KorrelAccepts,
    testing::Values(
        LineCase{line(ToolCommand::Version), {Operation::Version}},
        LineCase{line(ToolCommand::Monitor, {}, -1, -1), {Operation::Monitor, -1, -1}},
        LineCase{line(ToolCommand::Reset, {}, 12, 0), {Operation::Reset, 12, 0}},
        LineCase{line(ToolCommand::Halt), {Operation::Halt}},
        LineCase{line(ToolCommand::Run, fields([](ToolFields &f) { f.otherOptions = "-d4"; })),
                 {Operation::Run, 0, 1, {}, {}, 4}},
        LineCase{line(ToolCommand::Verify,
                      fields([](ToolFields &f) { f.moduleOnly = true, f.module = "3"; })),
                 {Operation::VerifyExecutive, 0, 1, 3, {}, 1}},
        LineCase{line(ToolCommand::Program, fields([](ToolFields &f) { f.debug[8] = true; })),
                 {Operation::ProgramExecutive, 0, 1, {}, {}, 0x100}},
        LineCase{line(ToolCommand::DataDiag,
                      fields([](ToolFields &f) { f.dispData = true, f.diagCount = "-1"; })),
                 {Operation::DataDiagnostic, 0, 1, {}, {}, 0x80, "", -1}},
        LineCase{line(ToolCommand::DataDiag), {Operation::DataDiagnostic, 0, 1, {}, {}, 0, "", 10}},
        LineCase{line(ToolCommand::Download, fields([](ToolFields &f) {
                          f.cfgFile = "/home/u/My Configs/loop.ocf", f.debug[0] = true,
                          f.debug[4] = true;
                      })),
                 {Operation::Download, 0, 1, {}, {}, 0x11, "/home/u/My Configs/loop.ocf"}},
        LineCase{line(ToolCommand::Download,
                      fields([](ToolFields &f) { f.cfgFile = R"(\\srv\share\a.ocf)"; })),
                 {Operation::Download, 0, 1, {}, {}, 0, R"(\\\\srv\share\a.ocf)"}},
        LineCase{line(ToolCommand::Download), {Operation::Download, 0, 1, {}, {}, 0, ""}},
        LineCase{line(ToolCommand::Version, {}, 0, 0, true), {Operation::Version, 0, 0}},
        LineCase{"korrel -i 0 -o 1 " +
                     parlet::options::registrationOptions(parlet::options::RegTransfer::Save, "",
                                                          true, "0", "127", kNoDebug,
                                                          R"(C:\x.reg)"),
                 {Operation::SaveRegistration, 0, 1, 0, 128, 1, R"(C:\x.reg)"}},
        LineCase{"korrel -i 0 -o 1 " +
                     parlet::options::registrationOptions(parlet::options::RegTransfer::Load, "",
                                                          false, "0", "127", kNoDebug,
                                                          "/r/a b.reg"),
                 {Operation::LoadRegistration, 0, 1, {}, {}, 1, "/r/a b.reg"}},
        LineCase{"korrel -i 0 -o 1 " + parlet::options::copyOptions("", "0", "1", "127", kNoDebug),
                 {Operation::CopyRegistration, 0, 1, 1, 127, 1, "", 0, 0}},
        LineCase{"korrel -i 0 -o 1 " + parlet::options::copyOptions("", " 5", "6", "9", kNoDebug),
                 {Operation::CopyRegistration, 0, 1, 6, 4, 1, "", 0, 5}},
        LineCase{"korrel -i 0 -o 1 -P -C5",
                 {Operation::CopyRegistration, 0, 1, {}, {}, 0, "", 0, 5}},
        LineCase{"korrel -i 0 -o 1 -d 1ff -R", {Operation::Reset, 0, 1, {}, {}, 0x1FF}}));

struct RejectCase {
    const char *line;
    const char *error; // a part of the message
};

TEST(KorrelRejects, MalformedLinesWithAReason) {
    const RejectCase cases[] = {
        {"korrel -i 0 -o 1", "no operation"},
        {"korrel -i 0 -o 1 -P", "no operation"},
        {"korrel -i 0 -o 1 -x", "unknown option \"-x\""},
        {"korrel -i 0 -o 1 -Lx", "unknown option \"-Lx\""},
        {"korrel -i 0 -o 1 stray -R", "unexpected argument \"stray\""},
        {"korrel -i -o 1 -R", "-i needs a number"},
        {"korrel -i x -o 1 -R", "-i needs a number"},
        {"korrel -i-2 -o 1 -R", "out of range"},
        {"korrel -i 0 -o 1 -m -d1 -H", "-m needs a number, not \"-d1\""},
        {"korrel -i 0 -o 1 -m3.5 -H", "-m needs a number"},
        {"korrel -i 0 -o 1 -P -D", "-D needs a number"},
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
        EXPECT_THAT(parsed.error, testing::HasSubstr(c.error)) << c.line;
    }
}

TEST(KorrelDescribe, SaysWhatWasAskedInWords) {
    auto text = [](const char *line) { return describe(*parseLine(line).request); };
    EXPECT_THAT(text("korrel -i 0 -o 1  -m3  -d81 -P -v"),
                testing::AllOf(testing::HasSubstr("Verify the program"),
                               testing::HasSubstr("starting at module 3"),
                               testing::HasSubstr("Progress, Show pgm/verify in chars")));
    EXPECT_THAT(text("korrel -i 0 -o 1 -m5 -n 3 -d1 -P -U \"r.reg\""),
                testing::HasSubstr("Load registration memories 5 through 7 (3)"));
    EXPECT_THAT(text("korrel -i-1 -o-1 -P -D-1"),
                testing::AllOf(testing::HasSubstr("without end"),
                               testing::HasSubstr("input device (none chosen)")));
}

} // namespace
} // namespace korrel
