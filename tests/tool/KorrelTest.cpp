// The stand-in tool's data diagnostic reports what the loop altered or lost.
#include "Loop.h"

#include <gmock/gmock.h>

#include <deque>
#include <sstream>

namespace korrel {

// A loop in memory: message 3 comes back altered, message 5 is lost, and an Active Sensing
// arrives before each answer. Then, without end, it runs until the stop test says so.
TEST(Korrel, DiagnosticReportsEachAlteredOrLostMessageAndIgnoresRealTime) {
    std::deque<Bytes> wire;
    std::vector<Bytes> sent;
    DiagnosticLoop loop;
    loop.send = [&](const Bytes &m) {
        sent.push_back(m);
        wire.push_back({0xFE});
        if (sent.size() != 5)
            wire.push_back(m);
        if (sent.size() == 3)
            wire.back().back() ^= 1;
    };
    loop.receive = [&](std::chrono::milliseconds) -> std::optional<Bytes> {
        if (wire.empty())
            return std::nullopt;
        Bytes m = wire.front();
        wire.pop_front();
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
