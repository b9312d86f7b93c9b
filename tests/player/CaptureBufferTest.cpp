#include "player/seq.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace parlet::seq {
namespace {

// A fresh or cleared buffer is empty and drops appends; a reset one holds only the tempo entry.
// It grows before the slot at the upper index is written, and growing keeps what is stored.
TEST(CaptureBuffer, EmptyUntilResetThenGrowsAtThe1025thEntry) {
    CaptureBuffer buffer;
    for (int pass = 0; pass < 2; ++pass) {
        buffer.capAppend(0x90, 5);
        EXPECT_EQ(buffer.capCount(), 0);
        EXPECT_TRUE(buffer.entries().empty());
        buffer.capReset();
        EXPECT_EQ(buffer.capCount(), 1);
        EXPECT_EQ(buffer.upperIndex(), 1024);
        EXPECT_EQ(buffer.capEvent(0), kTempoEntry);
        for (std::int32_t i = 1; i < 1024; ++i)
            buffer.capAppend(0x90 + (i << 8), i * 10);
        EXPECT_EQ(buffer.upperIndex(), 1024);
        buffer.capAppend(0x00403C80, 99999); // the 1025th entry
        EXPECT_EQ(buffer.upperIndex(), 2048);
        EXPECT_EQ(buffer.capCount(), 1025);
        EXPECT_EQ(buffer.capTime(1024), 99999);
        EXPECT_EQ(buffer.capEvent(1025), 0); // new slots read 0
        for (std::int32_t i = 1; i < 1024; ++i)
            ASSERT_EQ(buffer.capTime(i), i * 10) << i;
        buffer.capClear();
    }
}

TEST(CaptureBuffer, ToDeltas) {
    const std::pair<std::vector<std::int32_t>, std::vector<std::int32_t>> cases[] = {
        {{}, {0}}, {{300}, {0, 0}}, {{200, 250, 1000}, {0, 0, 50, 750}}, {{5, 5}, {0, 0, 0}}};
    for (const auto &[times, deltas] : cases) {
        CaptureBuffer buffer;
        buffer.capReset();
        for (auto t : times)
            buffer.capAppend(0x90, t);
        buffer.capToDeltas();
        std::vector<std::int32_t> got;
        for (const auto &entry : buffer.entries())
            got.push_back(entry.time);
        EXPECT_EQ(got, deltas);
    }
}

// One thread plays the driver; the other resets, shows the count, and copies the buffer as the
// window thread does. Every copy must be a tempo entry followed by a gap-free run of appends.
TEST(CaptureBuffer, AppendsRaceSafelyWithResetsAndReads) {
    CaptureBuffer buffer;
    buffer.capReset();
    constexpr std::int32_t kEvents = 200000;
    std::atomic<bool> done{false};
    std::thread driver([&] {
        for (std::int32_t i = 1; i <= kEvents; ++i)
            buffer.capAppend(i, i);
        done = true;
    });
    auto checkRun = [](const std::vector<Entry> &all) {
        ASSERT_EQ(all.at(0).event, kTempoEntry);
        ASSERT_EQ(all[0].time, 0);
        for (std::size_t k = 1; k < all.size(); ++k) {
            ASSERT_EQ(all[k].event, all[k].time);
            ASSERT_TRUE(k == 1 || all[k].event == all[k - 1].event + 1) << k;
        }
    };
    for (int reads = 1; !done && !::testing::Test::HasFatalFailure(); ++reads) {
        if (reads % 8 == 0)
            buffer.capReset();
        auto newest = buffer.newest();
        ASSERT_GE(newest.count, 1);
        ASSERT_LE(newest.count, buffer.upperIndex());
        ASSERT_LE(newest.elapsed, kEvents);
        checkRun(buffer.entries());
    }
    driver.join();
    auto all = buffer.entries();
    checkRun(all);
    // Unless the last reset came after the last append, the copy ends with it.
    EXPECT_TRUE(all.size() == 1 || all.back().event == kEvents);
}

} // namespace
} // namespace parlet::seq
