#include "common/CommandLine.h"

#include <gmock/gmock.h>

namespace parlet {

TEST(SplitCommandLine, GivesTheArgumentsAWindowsRuntimeWould) {
    const std::pair<const char *, std::vector<std::string>> cases[] = {
        // No device chosen: the sign takes the blank's place and the number joins the option.
        {"korrel -i-1 -o-1 -L", {"korrel", "-i-1", "-o-1", "-L"}},
        {"  korrel\t-i 0  -m3  -d1 -P -v ", {"korrel", "-i", "0", "-m3", "-d1", "-P", "-v"}},
        {R"(k -P "C:\My Files\a b.ocf")", {"k", "-P", R"(C:\My Files\a b.ocf)"}},
        {R"(k -P "" "" )", {"k", "-P", "", ""}},
        // 2n+1 backslashes before a quote: n backslashes and a literal quote.
        {R"(k a\"b a\\\"b)", {"k", R"(a"b)", R"(a\"b)"}},
        // 2n backslashes before a quote: n backslashes, and the quote groups.
        {R"(k a\\"b c")", {"k", R"(a\b c)"}},
        {R"(k ab"c d"e "open to the end)", {"k", "abc de", "open to the end"}},
        // The program name groups by quotes only; its backslashes stay as they are.
        {R"("C:\Program Files\korrel" -L)", {R"(C:\Program Files\korrel)", "-L"}},
    };
    for (const auto &[line, words] : cases)
        EXPECT_EQ(splitCommandLine(line), words) << line;
}

} // namespace parlet
