#include "common/ToolOptions.h"

#include <gmock/gmock.h>

// Tables name only the fields a case sets; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace parlet::options {

// Save, load and copy with the default fields are checked through the window.
TEST(RegistrationOptions, CountsAndRangeRules) {
    EXPECT_EQ(copyOptions("-q", " 127", "3", "9", {false, false, false, false, false, false, true}),
              "-q -m3 -n 7 -d41 -P -C 127");
    // The count is the fields' numeric values, rounded halves to even, held in 16 bits.
    EXPECT_EQ(copyOptions("", "0", "0", "2.5", {}), " -m0 -n 4 -d1 -P -C0");
    EXPECT_EQ(copyOptions("", "0", "10", "x3", {}), " -m10 -n-9 -d1 -P -C0");
    // The field left wins and pulls the other along; the other keeps its text unless it must
    // follow.
    const std::tuple<bool, const char *, const char *, const char *> cases[] = {
        {true, "abc", "30", "0|30"},
        {true, " 7.5", "30", "8|30"},
        {true, "5", " 9x", "5| 9x"},
        {false, "0", "-99999", "0|0"}};
    for (const auto &[firstLeft, first, last, result] : cases) {
        const RangeTexts got = firstLeft ? firstFieldLeft(first, last) : lastFieldLeft(first, last);
        EXPECT_EQ(got.first + "|" + got.last, result) << first << " " << last;
    }
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

} // namespace parlet::options
