// The stand-in tool reads what Parlet composes: its command lines, split by the Windows rules,
// must parse to the request they stand for.
#include "KorrelArgs.h"
#include "common/CommandLine.h"

#include <gmock/gmock.h>

// Tables name only the fields a case sets; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace korrel {
namespace {

ParseResult parseLine(const std::string &line) {
    auto words = parlet::splitCommandLine(line);
    words.erase(words.begin());
    return parseArgs(words);
}

TEST(Korrel, AcceptsParletsLines) {
    using enum Operation;
    const struct {
        const char *line;
        Request r;
    } cases[] = {
        {"korrel -i 0 -o 1 -P -V", {0, 1, true, Version}},
        {"korrel.bat -i-1 -o 12 -L", {-1, 12, false, Monitor}},
        {"korrel -i 0 -o 1  -m3  -d1 -P -v", {0, 1, true, VerifyExecutive, "", 3, {}, 0, 0, 1}},
        {"korrel -i 0 -o 1  -d80 -P -D-1", {0, 1, true, DataDiagnostic, "", {}, {}, -1, 0, 0x80}},
        {R"(korrel -i 0 -o 1   -P "\\\\srv\s\a.ocf")",
         {0, 1, true, Download, R"(\\\\srv\s\a.ocf)"}},
        {R"(korrel -i 0 -o 1  -m0 -n 128 -d1 -P -S "C:\x.reg")",
         {0, 1, true, SaveRegistration, R"(C:\x.reg)", 0, 128, 0, 0, 1}},
        {R"(korrel -i 0 -o 1  -d1 -P -U "/r/a b.reg")",
         {0, 1, true, LoadRegistration, "/r/a b.reg", {}, {}, 0, 0, 1}},
        {"korrel -i 0 -o 1  -m1 -n 127 -d1 -P -C0",
         {0, 1, true, CopyRegistration, "", 1, 127, 0, 0, 1}},
        {"korrel -i 0 -o 1  -m6 -n 4 -d1 -P -C 5",
         {0, 1, true, CopyRegistration, "", 6, 4, 0, 5, 1}},
        {"korrel -i 0 -o 1 -d 1ff -R", {0, 1, false, Reset, "", {}, {}, 0, 0, 0x1FF}},
    };
    for (const auto &[line, r] : cases) {
        const ParseResult parsed = parseLine(line);
        ASSERT_TRUE(parsed.request) << line << ": " << parsed.error;
        const Request &p = *parsed.request;
        EXPECT_EQ(std::tie(p.inputDevice, p.outputDevice, p.programMode, p.operation, p.path,
                           p.module, p.count, p.diagnosticCount, p.copyFrom, p.debug),
                  std::tie(r.inputDevice, r.outputDevice, r.programMode, r.operation, r.path,
                           r.module, r.count, r.diagnosticCount, r.copyFrom, r.debug))
            << line;
    }
}

TEST(Korrel, RejectsMalformedLinesWithAReason) {
    const std::pair<const char *, const char *> cases[] = {
        {"korrel -i 0 -o 1 -P", "no operation"},
        {"korrel -i 0 -o 1 stray -R", "unexpected argument \"stray\""},
        {"korrel -i-2 -o 1 -R", "out of range"},
        {"korrel -i 0 -o 1 -m -d1 -H", "-m needs a number, not \"-d1\""},
        {"korrel -i 0 -o 1 -P -Dten", "-D needs a number"},
        {"korrel -i 0 -o 1 -dxyz -R", "hexadecimal"},
        {"korrel -i 0 -o 1 -P -S", "needs a registration file"},
        {"korrel -i 0 -o 1 -m100 -n 50 -P -U a.reg", "past memory 127"},
        {"korrel -i 0 -o 1 -n 5 -R", "-n is only meaningful"},
        {"korrel -i 0 -o 1 -R -H", "more than one operation"},
        {"korrel -i 0 -o 1 -P -C200", "out of range"},
    };
    for (const auto &[line, error] : cases) {
        const ParseResult parsed = parseLine(line);
        EXPECT_FALSE(parsed.request) << line;
        EXPECT_THAT(parsed.error, testing::HasSubstr(error)) << line;
    }
}

} // namespace
} // namespace korrel
