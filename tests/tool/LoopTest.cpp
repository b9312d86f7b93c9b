#include "Loop.h"

#include <gmock/gmock.h>

#include <deque>
#include <sstream>

namespace korrel {
namespace {

TEST(Decode, ShortMessagesInWordsAndHex) {
    struct Case {
        std::uint32_t packed;
        const char *text;
    } cases[] = {
        {0x643C90, "Note On  channel 1  note 60  velocity 100  [90 3C 64]"},
        {0x00408F, "Note Off  channel 16  note 64  velocity 0  [8F 40 00]"},
        {0x7F07B2, "Control Change  channel 3  controller 7  value 127  [B2 07 7F]"},
        {0x0005C9, "Program Change  channel 10  program 5  [C9 05]"},
        {0x4000E0, "Pitch Bend  channel 1  value 0  [E0 00 40]"},
        {0x7F7FE0, "Pitch Bend  channel 1  value 8191  [E0 7F 7F]"},
        {0x0000F8, "Timing Clock  [F8]"},
        {0x0000FE, "Active Sensing  [FE]"},
        {0x0003F3, "Song Select  [F3 03]"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(decode(unpack(c.packed)), c.text);
}

TEST(RandomMessages, ValidChannelMessagesOfTheirOwnLength) {
    RandomMessages messages(7);
    for (int i = 0; i < 2000; ++i) {
        const Bytes m = messages.next();
        ASSERT_GE(m[0], 0x80);
        ASSERT_LT(m[0], 0xF0);
        const std::size_t length = (m[0] & 0xE0) == 0xC0 ? 2 : 3;
        ASSERT_EQ(m.size(), length);
        for (std::size_t b = 1; b < m.size(); ++b)
            ASSERT_LT(m[b], 0x80);
        if ((m[0] & 0xF0) == 0x90) {
            ASSERT_NE(m[2], 0) << "a Note On with velocity 0 reads as a Note Off";
        }
    }
}

// A loop in memory: what is sent comes back, through `alter`, unless it is dropped.
struct MemoryLoop {
    std::deque<Bytes> wire;
    std::function<std::optional<Bytes>(int index, Bytes)> alter = [](int, Bytes m) {
        return std::optional<Bytes>(m);
    };
    int index = 0;
    std::vector<Bytes> sent;

    DiagnosticLoop loop() {
        DiagnosticLoop l;
        l.send = [this](const Bytes &m) {
            sent.push_back(m);
            if (auto back = alter(++index, m))
                wire.push_back(*back);
        };
        l.receive = [this](std::chrono::milliseconds) -> std::optional<Bytes> {
            if (wire.empty())
                return std::nullopt;
            Bytes m = wire.front();
            wire.pop_front();
            return m;
        };
        return l;
    }
};

TEST(Diagnostic, UnchangedMessagesPass) {
    MemoryLoop memory;
    auto loop = memory.loop();
    RandomMessages messages(1);
    std::ostringstream out;
    const auto result = runDiagnostic(loop, messages, 50, true, false, out);
    EXPECT_EQ(result.sent, 50);
    EXPECT_EQ(result.unchanged, 50);
    EXPECT_EQ(out.str(), "50 messages sent: 50 came back unchanged, 0 differed, 0 lost.\n");
}

TEST(Diagnostic, ReportsEachAlteredOrLostMessage) {
    for (bool showData : {false, true}) {
        MemoryLoop memory;
        memory.alter = [](int index, Bytes m) -> std::optional<Bytes> {
            if (index == 3)
                m.back() ^= 0x01;
            if (index == 5)
                return std::nullopt;
            return m;
        };
        auto loop = memory.loop();
        RandomMessages messages(2);
        std::ostringstream out;
        const auto result = runDiagnostic(loop, messages, 6, showData, false, out);
        EXPECT_EQ(result.unchanged, 4);
        EXPECT_EQ(result.differed, 1);
        EXPECT_EQ(result.lost, 1);
        Bytes altered = memory.sent[2];
        altered.back() ^= 0x01;
        const std::string expected =
            showData ? "Message 3: data differs: sent " + hex(memory.sent[2]) + ", received " +
                           hex(altered) + "\nMessage 5: nothing came back (sent " +
                           hex(memory.sent[4]) + ")\n"
                     : "Message 3: data differs\nMessage 5: nothing came back\n";
        EXPECT_EQ(out.str(), expected + "6 messages sent: 4 came back unchanged, 1 differed, "
                                        "1 lost.\n");
    }
}

TEST(Diagnostic, RealTimeMessagesOnTheLoopAreNotTheAnswer) {
    MemoryLoop memory;
    memory.alter = [&memory](int, Bytes m) -> std::optional<Bytes> {
        memory.wire.push_back({0xFE});
        return m;
    };
    auto loop = memory.loop();
    RandomMessages messages(3);
    std::ostringstream out;
    EXPECT_EQ(runDiagnostic(loop, messages, 5, false, false, out).unchanged, 5);
}

TEST(Diagnostic, WithoutEndRunsUntilStopped) {
    MemoryLoop memory;
    auto loop = memory.loop();
    loop.stop = [&memory] { return memory.sent.size() == 300; };
    RandomMessages messages(4);
    std::ostringstream out;
    EXPECT_EQ(runDiagnostic(loop, messages, -1, false, false, out).sent, 300);
}

} // namespace
} // namespace korrel
