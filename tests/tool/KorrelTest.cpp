// The stand-in tool: it reads the command lines Parlet composes, split by the Windows rules, and
// its data diagnostic reports what the loop altered or lost.
#include "KorrelArgs.h"
#include "Loop.h"
#include "common/CommandLine.h"

#include <gmock/gmock.h>

#include <deque>
#include <sstream>

// Requests name only the fields a case sets; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace korrel {

static ParseResult parseLine(const std::string &line) {
    auto words = parlet::splitCommandLine(line);
    return parseArgs({words.begin() + 1, words.end()});
}

TEST(Korrel, ReadsParletsLines) {
    using enum Operation;
    const std::pair<const char *, Request> lines[] = {
        {"korrel.bat -i-1 -o 12 -L", {-1, 12, false, Monitor}},
        {"k -i 0 -o 1  -d80 -P -D-1", {0, 1, true, DataDiagnostic, "", {}, {}, -1, 0, 0x80}},
        {R"(k -i 0 -o 1   -P "\\\\s\a b.ocf")", {0, 1, true, Download, R"(\\\\s\a b.ocf)"}},
        {"k -i 0 -o 1  -m6 -n 4 -d 1ff -P -C 5",
         {0, 1, true, CopyRegistration, "", 6, 4, 0, 5, 0x1FF}}};
    for (const auto &[line, request] : lines)
        EXPECT_EQ(parseLine(line).request, request) << line << ": " << parseLine(line).error;
}

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
