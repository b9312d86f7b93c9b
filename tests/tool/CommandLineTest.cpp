#include "common/CommandLine.h"
#include "KorrelArgs.h"
#include "common/ToolOptions.h"

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

// The stand-in tool reads the lines the window composes, and says what it will do or why not.
TEST(KorrelArgs, ReadTheLinesTheWindowComposes) {
    const std::pair<const char *, const char *> cases[] = {
        {"-i 0 -o-1 -L", "Monitor MIDI messages arriving on input device 0."},
        {"-i-1 -o 1  -m3  -d1 -P -v", "Verify the program (executive) starting at module 3."},
        {"-i 0 -o 1 -m127 -n 1 -d1 -P -S \"C:\\a b.reg\"",
         "Save registration memories 127 through 127 (1) to the file \"C:\\a b.reg\"."},
        {"-i 0 -o 1 -m127 -n 2 -d1 -P -C0", "the range of memories runs past memory 127"},
        {"-i 0 -o 1 -dFFFF -R",
         "Send a reset to output device 1, which causes all Ombrix modules to reset."},
        {"-i 0 -o 1 -d10000 -R", "-d needs a hexadecimal debug mask, not \"10000\""},
        {"-i 256 -o 1 -R", "-i 256 is out of range (-1 to 255)"},
        {"-i 0 -o 0   -P \"\"", "Download the configuration file \"\" on every module."},
        {"-i 0 -o 0 -d80 -P -D-1", "Data diagnostic: send random messages without end to output "
                                   "device 0 and compare what comes back on input device 0."}};
    for (const auto &[line, said] : cases) {
        const auto words = splitCommandLine(std::string("korrel ") + line);
        const auto parsed = korrel::parseArgs({words.begin() + 1, words.end()});
        const std::string text = parsed.request ? korrel::describe(*parsed.request) : parsed.error;
        EXPECT_EQ(text.substr(0, text.find('\n')), said) << line;
    }
}

using namespace options;

// Save, load and copy with the default fields are checked through the window.
TEST(RegistrationOptions, CountsAndTheCopySource) {
    EXPECT_EQ(copyOptions("-q", " 127", "3", "9", {false, false, false, false, false, false, true}),
              "-q -m3 -n 7 -d41 -P -C 127");
    // The count is the fields' numeric values, rounded halves to even, held in 16 bits.
    EXPECT_EQ(copyOptions("", "0", "0", "2.5", {}), " -m0 -n 4 -d1 -P -C0");
    EXPECT_EQ(copyOptions("", "0", "10", "x3", {}), " -m10 -n-9 -d1 -P -C0");
    using Texts = std::pair<const char *, const char *>;
    for (auto [text, result] : {Texts{"", " 0"}, Texts{"-4", " 0"}, Texts{"99999", " 127"}})
        EXPECT_EQ(copyFromLeft(text), result) << text;
}

// "Display data comparison" asks for the bit of box 7, which the two set only once.
TEST(ToolOptions, DataComparisonIsTheBitOfBoxSeven) {
    ToolFields fields;
    fields.debug[7] = fields.dispData = true;
    EXPECT_EQ(toolOptions(ToolCommand::DataDiag, fields), " -d80 -P -D10");
}

} // namespace parlet
