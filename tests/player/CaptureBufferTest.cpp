#include "player/seq.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace parlet::seq {
namespace {

TEST(CaptureBuffer, StartsResetSoAnEarlyMessageIsHarmless) {
    CaptureBuffer buffer;
    EXPECT_EQ(buffer.capCount(), 1);
    EXPECT_EQ(buffer.upperIndex(), 1024);
    EXPECT_EQ(buffer.capEvent(0), 0x07A120FF);
    EXPECT_EQ(buffer.capTime(0), 0);
    buffer.capAppend(0x00643C90, 7);
    EXPECT_EQ(buffer.capCount(), 2);
}

TEST(CaptureBuffer, GrowsBeforeTheSlotAtTheUpperIndexIsWritten) {
    CaptureBuffer buffer;
    for (std::int32_t i = 1; i < 1024; ++i)
        buffer.capAppend(0x90 + (i << 8), i * 10);
    ASSERT_EQ(buffer.capCount(), 1024);
    EXPECT_EQ(buffer.upperIndex(), 1024);
    EXPECT_EQ(buffer.capEvent(1024), 0);

    buffer.capAppend(0x00403C80, 99999); // the 1025th entry
    EXPECT_EQ(buffer.upperIndex(), 2048);
    EXPECT_EQ(buffer.capCount(), 1025);
    EXPECT_EQ(buffer.capEvent(1024), 0x00403C80);
    EXPECT_EQ(buffer.capTime(1024), 99999);
    EXPECT_EQ(buffer.capEvent(1025), 0); // new slots read 0
    EXPECT_EQ(buffer.capEvent(0), 0x07A120FF);
    for (std::int32_t i = 1; i < 1024; ++i) {
        ASSERT_EQ(buffer.capEvent(i), 0x90 + (i << 8)) << i;
        ASSERT_EQ(buffer.capTime(i), i * 10) << i;
    }

    while (buffer.capCount() < 2048)
        buffer.capAppend(0x90, 0);
    EXPECT_EQ(buffer.upperIndex(), 2048);
    buffer.capAppend(0x80, 1);
    EXPECT_EQ(buffer.upperIndex(), 4096);
}

TEST(CaptureBuffer, ResetDropsAGrownCapture) {
    CaptureBuffer buffer;
    for (int i = 0; i < 5000; ++i)
        buffer.capAppend(0x90, i);
    buffer.capReset();
    EXPECT_EQ(buffer.capCount(), 1);
    EXPECT_EQ(buffer.upperIndex(), 1024);
    EXPECT_EQ(buffer.capEvent(0), 0x07A120FF);
    EXPECT_EQ(buffer.capEvent(1), 0);
    EXPECT_EQ(buffer.capTime(4000), 0);
    buffer.capAppend(0x80, 3);
    EXPECT_EQ(buffer.capEvent(1), 0x80);
}

TEST(CaptureBuffer, ToDeltas) {
    struct Case {
        std::vector<std::int32_t> times; // after entry 0
        std::vector<std::int32_t> deltas;
    };
    const Case cases[] = {
        {{}, {0}},
        {{300}, {0, 0}},
        {{200, 250, 1000}, {0, 0, 50, 750}},
        {{5, 5, 5}, {0, 0, 0, 0}},
    };
    for (const auto &c : cases) {
        CaptureBuffer buffer;
        for (auto t : c.times)
            buffer.capAppend(0x90, t);
        buffer.capToDeltas();
        std::vector<std::int32_t> got;
        for (std::int64_t i = 0; i < buffer.capCount(); ++i)
            got.push_back(buffer.capTime(i));
        EXPECT_EQ(got, c.deltas);
    }
}

TEST(CaptureBuffer, WorksBeyond32767Entries) {
    CaptureBuffer buffer;
    constexpr std::int64_t kEntries = 100000;
    for (std::int64_t i = 1; i < kEntries; ++i)
        buffer.capAppend(static_cast<std::int32_t>(i), static_cast<std::int32_t>(1000 + 3 * i));
    ASSERT_EQ(buffer.capCount(), kEntries);
    EXPECT_EQ(buffer.upperIndex(), 131072);
    EXPECT_EQ(buffer.capEvent(65536), 65536);
    EXPECT_EQ(buffer.newest().elapsed, 1000 + 3 * (kEntries - 1));

    auto all = buffer.entries();
    ASSERT_EQ(static_cast<std::int64_t>(all.size()), kEntries);
    for (std::int64_t i = 1; i < kEntries; ++i)
        ASSERT_EQ(all[static_cast<std::size_t>(i)].event, i);

    buffer.capToDeltas();
    EXPECT_EQ(buffer.capTime(1), 0);
    for (std::int64_t i = 2; i < kEntries; ++i)
        ASSERT_EQ(buffer.capTime(i), 3) << i;
}

TEST(CaptureCallback, StoresShortMessagesAndDropsRealTime) {
    struct Case {
        std::uint32_t code;
        std::uint32_t message;
        bool stored;
    };
    const Case cases[] = {
        {MIM_DATA, 0x00643C90, true},  {MIM_DATA, 0x00000AC5, true},  {MIM_DATA, 0x000000F6, true},
        {MIM_DATA, 0x000000F0, true},  {MIM_DATA, 0x000000F7, true},  {MIM_DATA, 0x000000F8, false},
        {MIM_DATA, 0x000000FA, false}, {MIM_DATA, 0x000000FE, false}, {MIM_DATA, 0x000000FF, false},
        {MIM_DATA, 0x000000F9, false}, {MIM_DATA, 0x000000FD, false}, {MIM_OPEN, 0x00643C90, false},
        {MIM_CLOSE, 0, false},
    };
    for (const auto &c : cases) {
        CaptureBuffer buffer;
        capMidiInProc(1, c.code, reinterpret_cast<std::uintptr_t>(&buffer), c.message, 1500);
        ASSERT_EQ(buffer.capCount(), c.stored ? 2 : 1) << std::hex << c.message;
        if (c.stored) {
            EXPECT_EQ(static_cast<std::uint32_t>(buffer.capEvent(1)), c.message);
            EXPECT_EQ(buffer.capTime(1), 1500);
        }
    }
}

// One thread plays the driver; the other resets, shows the count, and copies the buffer as the
// window thread does. Every copy must be a tempo entry followed by a gap-free run of appends.
TEST(CaptureBuffer, AppendsRaceSafelyWithResetsAndReads) {
    CaptureBuffer buffer;
    constexpr std::int32_t kEvents = 200000;
    std::atomic<bool> done{false};
    std::thread driver([&] {
        for (std::int32_t i = 1; i <= kEvents; ++i)
            buffer.capAppend(i, i);
        done = true;
    });

    int resets = 0;
    int reads = 0;
    auto checkRun = [](const std::vector<Entry> &all) {
        ASSERT_GE(all.size(), 1u);
        ASSERT_EQ(all[0].event, kTempoEntry);
        ASSERT_EQ(all[0].time, 0);
        for (std::size_t k = 1; k < all.size(); ++k) {
            ASSERT_EQ(all[k].event, all[k].time);
            if (k > 1) {
                ASSERT_EQ(all[k].event, all[k - 1].event + 1);
            }
        }
    };
    while (!done) {
        if (++reads % 8 == 0) {
            buffer.capReset();
            ++resets;
        }
        auto newest = buffer.newest();
        ASSERT_GE(newest.count, 1);
        ASSERT_LE(newest.count, buffer.upperIndex());
        ASSERT_LE(newest.elapsed, kEvents);
        checkRun(buffer.entries());
        if (::testing::Test::HasFatalFailure())
            break;
    }
    driver.join();
    auto all = buffer.entries();
    checkRun(all);
    if (all.size() > 1) { // unless the last reset came after the last append
        EXPECT_EQ(all.back().event, kEvents);
    }
    RecordProperty("resets", resets);
}

} // namespace
} // namespace parlet::seq
