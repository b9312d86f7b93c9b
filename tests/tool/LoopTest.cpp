#include "Loop.h"

#include <gmock/gmock.h>

#include <deque>
#include <sstream>

namespace korrel {

TEST(Loop, DecodesShortMessagesAndSendsOnlyValidChannelMessages) {
    EXPECT_EQ(decode(unpack(0x643C90)), "Note On  channel 1  note 60  velocity 100  [90 3C 64]");
    EXPECT_EQ(decode(unpack(0x7F7FE0)), "Pitch Bend  channel 1  value 8191  [E0 7F 7F]");
    RandomMessages messages(7);
    for (int i = 0; i < 2000; ++i) {
        const Bytes m = messages.next();
        ASSERT_TRUE(m[0] >= 0x80 && m[0] < 0xF0 && m[1] < 0x80 && m.back() < 0x80);
        ASSERT_EQ(m.size(), (m[0] & 0xE0) == 0xC0 ? 2u : 3u);
        ASSERT_FALSE((m[0] & 0xF0) == 0x90 && m[2] == 0) << "reads as a Note Off";
    }
}

// A loop in memory: message 3 comes back altered, message 5 is lost, and an Active Sensing
// arrives before each answer. Then, without end, it runs until the stop test says so.
TEST(Loop, DiagnosticReportsEachAlteredOrLostMessageAndIgnoresRealTime) {
    std::deque<Bytes> wire;
    std::vector<Bytes> sent;
    DiagnosticLoop loop;
    loop.send = [&](const Bytes &m) {
        sent.push_back(m);
        wire.push_back({0xFE});
        if (sent.size() != 5)
            wire.push_back(m);
        wire.back().back() ^= sent.size() == 3 ? 1 : 0;
    };
    loop.receive = [&](std::chrono::milliseconds) {
        std::optional<Bytes> m;
        if (!wire.empty())
            m = wire.front(), wire.pop_front();
        return m;
    };
    RandomMessages messages(2);
    std::ostringstream out;
    runDiagnostic(loop, messages, 6, true, false, out);
    Bytes altered = sent[2];
    altered.back() ^= 1;
    EXPECT_EQ(out.str(), "Message 3: data differs: sent " + hex(sent[2]) + ", received " +
                             hex(altered) + "\nMessage 5: nothing came back (sent " + hex(sent[4]) +
                             ")\n6 messages sent: 4 came back unchanged, 1 differed, 1 lost.\n");
    loop.stop = [&] { return sent.size() == 306; };
    EXPECT_EQ(runDiagnostic(loop, messages, -1, false, false, out).sent, 300);
}

} // namespace korrel
