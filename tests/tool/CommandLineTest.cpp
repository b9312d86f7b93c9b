#include "common/CommandLine.h"

#include <gmock/gmock.h>

namespace parlet {
namespace {

using Words = std::vector<std::string>;

struct SplitCase {
    const char *line;
    Words words;
};

void PrintTo(const SplitCase &c, std::ostream *os) {
    *os << c.line;
}

class SplitCommandLine : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLine, GivesTheArgumentsAWindowsRuntimeWould) {
    EXPECT_EQ(splitCommandLine(GetParam().line), GetParam().words) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitCommandLine,
    testing::Values(
        SplitCase{"", {}}, SplitCase{"   \t ", {}},
        SplitCase{"korrel -i 0 -o 1 -P -V", {"korrel", "-i", "0", "-o", "1", "-P", "-V"}},
        // No device chosen: the sign takes the blank's place and the number joins the option.
        SplitCase{"korrel -i-1 -o-1 -L", {"korrel", "-i-1", "-o-1", "-L"}},
        // Runs of blanks between tokens count as one separator.
        SplitCase{"korrel -i 0 -o 1  -m3  -d1 -P -v",
                  {"korrel", "-i", "0", "-o", "1", "-m3", "-d1", "-P", "-v"}},
        SplitCase{"korrel -i 0 -o 1    -H", {"korrel", "-i", "0", "-o", "1", "-H"}},
        SplitCase{"  korrel\t-R  ", {"korrel", "-R"}},
        SplitCase{R"(k -P "C:\My Files\a b.ocf")", {"k", "-P", R"(C:\My Files\a b.ocf)"}},
        // Backslashes not followed by a quote are literal, so a network path keeps all four.
        SplitCase{R"(k -P "\\\\server\share\x.ocf")", {"k", "-P", R"(\\\\server\share\x.ocf)"}},
        SplitCase{R"(k -P "")", {"k", "-P", ""}}, SplitCase{R"(k "" "")", {"k", "", ""}},
        SplitCase{R"(k a\\b)", {"k", R"(a\\b)"}},
        // 2n+1 backslashes before a quote: n backslashes and a literal quote.
        SplitCase{R"(k a\"b)", {"k", R"(a"b)"}}, SplitCase{R"(k a\\\"b)", {"k", R"(a\"b)"}},
        // 2n backslashes before a quote: n backslashes, and the quote groups.
        SplitCase{R"(k a\\"b c")", {"k", R"(a\b c)"}},
        SplitCase{R"(k "C:\dir\\" next)", {"k", R"(C:\dir\)", "next"}},
        // A doubled quote inside quotes is one literal quote.
        SplitCase{R"(k "a""b" c)", {"k", R"(a"b)", "c"}},
        SplitCase{R"(k ab"c d"e)", {"k", "abc de"}},
        SplitCase{R"(k "open to the end)", {"k", "open to the end"}},
        // The program name groups by quotes only; its backslashes stay as they are.
        SplitCase{R"("C:\Program Files\korrel" -L)", {R"(C:\Program Files\korrel)", "-L"}},
        SplitCase{R"(dir\\sub\korrel.bat -R)", {R"(dir\\sub\korrel.bat)", "-R"}}));

} // namespace
} // namespace parlet
