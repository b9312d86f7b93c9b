// The stand-in tool reads what Parlet composes: its command lines, split by the Windows rules,
// must parse to the request they stand for.
#include "KorrelArgs.h"
#include "common/CommandLine.h"

#include <gmock/gmock.h>

// Requests name only the fields a case sets; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace korrel {

static ParseResult parseLine(const std::string &line) {
    auto words = parlet::splitCommandLine(line);
    return parseArgs({words.begin() + 1, words.end()});
}

TEST(Korrel, AcceptsParletsLines) {
    using enum Operation;
    const std::pair<const char *, Request> cases[] = {
        {"korrel.bat -i-1 -o 12 -L", {-1, 12, false, Monitor}},
        {"korrel -i 0 -o 1  -m3  -d1 -P -v", {0, 1, true, VerifyExecutive, "", 3, {}, 0, 0, 1}},
        {"korrel -i 0 -o 1  -d80 -P -D-1", {0, 1, true, DataDiagnostic, "", {}, {}, -1, 0, 0x80}},
        {R"(k -i 0 -o 1   -P "\\\\s\a b.ocf")", {0, 1, true, Download, R"(\\\\s\a b.ocf)"}},
        {R"(k -i 0 -o 1  -m0 -n 128 -d1 -P -S "C:\x.reg")",
         {0, 1, true, SaveRegistration, R"(C:\x.reg)", 0, 128, 0, 0, 1}},
        {"k -i 0 -o 1  -m6 -n 4 -d1 -P -C 5", {0, 1, true, CopyRegistration, "", 6, 4, 0, 5, 1}},
        {"k -i 0 -o 1 -d 1ff -U a.reg",
         {0, 1, false, LoadRegistration, "a.reg", {}, {}, 0, 0, 0x1FF}},
    };
    for (const auto &[line, r] : cases) {
        const std::optional<Request> p = parseLine(line).request;
        ASSERT_TRUE(p) << line << ": " << parseLine(line).error;
        EXPECT_EQ(std::tie(p->inputDevice, p->outputDevice, p->programMode, p->operation, p->path,
                           p->module, p->count, p->diagnosticCount, p->copyFrom, p->debug),
                  std::tie(r.inputDevice, r.outputDevice, r.programMode, r.operation, r.path,
                           r.module, r.count, r.diagnosticCount, r.copyFrom, r.debug))
            << line;
    }
}

TEST(Korrel, RejectsMalformedLinesWithAReason) {
    const std::pair<const char *, const char *> cases[] = {
        {"k -i 0 -o 1 -P", "no operation"},
        {"k -i 0 -o 1 stray -R", "unexpected argument \"stray\""},
        {"k -i-2 -o 1 -R", "out of range"},
        {"k -i 0 -o 1 -m -d1 -H", "-m needs a number, not \"-d1\""},
        {"k -i 0 -o 1 -dxyz -R", "hexadecimal"},
        {"k -i 0 -o 1 -P -S", "needs a registration file"},
        {"k -i 0 -o 1 -m100 -n 50 -P -U a.reg", "past memory 127"},
        {"k -i 0 -o 1 -n 5 -R", "-n is only meaningful"},
        {"k -i 0 -o 1 -R -H", "more than one operation"},
    };
    for (const auto &[line, error] : cases)
        EXPECT_THAT(parseLine(line).error, testing::HasSubstr(error)) << line;
}

} // namespace korrel
