#include "common/FileDialogFilter.h"

#include <gtest/gtest.h>

namespace parlet {
namespace {

TEST(FileDialogFilter, SplitsPairsAndMapsAllFiles) {
    auto entries = parseFilter("All Files (*.*)|*.*|Ombrix Configuration Files (*.ocf)|*.ocf");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(qtNameFilter(entries[0]), "All Files (*)");
    EXPECT_EQ(qtNameFilter(entries[1]), "Ombrix Configuration Files (*.ocf)");
    ASSERT_EQ(parseFilter("MIDI Files (*.mid)|*.mid").size(), 1u);
    EXPECT_TRUE(parseFilter("").empty());
    EXPECT_EQ(parseFilter("Odd|*.x|Dangling").size(), 1u);
    EXPECT_EQ(qtNameFilter({"Both", "*.mid;*.midi"}), "Both (*.mid *.midi)");
}

} // namespace
} // namespace parlet
