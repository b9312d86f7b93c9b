#include "player/seq.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace parlet::seq {
namespace {

// A fresh or cleared buffer is empty and drops appends; a reset one starts with the tempo entry.
// However far it grows, every entry stays as stored.
TEST(CaptureBuffer, EmptyUntilResetThenKeepsEveryEntry) {
    CaptureBuffer buffer;
    for (int pass = 0; pass < 2; ++pass) {
        buffer.capAppend(0x90, 5);
        EXPECT_TRUE(buffer.entries().empty());
        buffer.capReset();
        for (std::int32_t i = 1; i < 5000; ++i)
            buffer.capAppend(i, i * 10);
        const auto all = buffer.entries();
        ASSERT_EQ(all.size(), 5000u);
        EXPECT_TRUE(all[0].event == kTempoEntry && all[0].time == 0);
        for (std::int32_t i = 1; i < 5000; ++i)
            ASSERT_TRUE(all[i].event == i && all[i].time == i * 10 && buffer.capTime(i) == i * 10)
                << i;
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
        ASSERT_TRUE(all.at(0).event == kTempoEntry && all[0].time == 0);
        for (std::size_t k = 1; k < all.size(); ++k)
            ASSERT_TRUE(all[k].event == all[k].time &&
                        (k == 1 || all[k].event == all[k - 1].event + 1))
                << k;
    };
    for (int reads = 1; !done && !::testing::Test::HasFatalFailure(); ++reads) {
        if (reads % 8 == 0)
            buffer.capReset();
        auto newest = buffer.newest();
        ASSERT_TRUE(newest.count >= 1 && newest.elapsed <= kEvents);
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
