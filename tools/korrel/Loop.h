#pragma once
// Short MIDI messages in words, and the data diagnostic's round trip around the loop.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace korrel {

using Bytes = std::vector<std::uint8_t>;

// The bytes of a packed short message (status in bits 0-7, data in 8-15 and 16-23), as many as
// its status calls for.
Bytes unpack(std::uint32_t packed);

// "Note On  channel 1  note 60  velocity 100  [90 3C 64]".
std::string decode(const Bytes &message);

std::string hex(const Bytes &message);

// Random channel messages with valid data bytes. A Note On never has velocity 0, which some
// drivers turn into a Note Off on the way.
class RandomMessages {
  public:
    explicit RandomMessages(std::uint32_t seed) : m_engine(seed) {}
    Bytes next();

  private:
    std::mt19937 m_engine;
};

struct DiagnosticResult {
    long long sent = 0;
    long long unchanged = 0;
    long long differed = 0;
    long long lost = 0;
};

// Sends each message, waits for what comes back and reports every difference on `out`. With
// `showData` the differing bytes are printed in hexadecimal. `count` -1 runs until `stop` says so.
struct DiagnosticLoop {
    std::function<void(const Bytes &)> send;
    // The next message that came back, or nothing after `timeout`.
    std::function<std::optional<Bytes>(std::chrono::milliseconds timeout)> receive;
    std::function<bool()> stop = [] { return false; };
    std::chrono::milliseconds timeout{1000};
};

DiagnosticResult runDiagnostic(DiagnosticLoop &loop, RandomMessages &messages, long long count,
                               bool showData, bool progress, std::ostream &out);

} // namespace korrel
