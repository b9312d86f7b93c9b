#pragma once
// A keyboard at the far end of the program's MIDI ports on each system's real MIDI service, for the
// window tests that are the same on both: a second JACK client on a private server on Linux, the
// test MIDI driver's pipe and log under Wine. It plays messages at times in ms after a moment
// shortly ahead, and hears what the program sent with its time in ms.
#ifdef _WIN32
#include "DriverPeer.h"
#else
#include "JackServer.h"
#endif

namespace parlet::test {

#ifdef _WIN32
using Keyboard = DriverPeer;
using KeyboardTest = ::testing::Test;
#else
class Keyboard final {
  public:
    using Bytes = std::vector<std::uint8_t>;
    struct Sent {
        double ms = 0;
        Bytes bytes;
    };
    // A period of the server, the grain of what it sends and receives.
    static constexpr double toleranceMs =
        1000.0 * JackServer::periodFrames / JackServer::sampleRate;

    unsigned stalls() const { return m_client.stalls(); }
    // Well ahead, so that a server held up by a busy machine still sends them at their frames.
    bool play(const std::vector<std::pair<unsigned, Bytes>> &messages) {
        const std::uint32_t first = m_client.frameNow() + JackServer::sampleRate / 10;
        for (const auto &[ms, bytes] : messages)
            m_client.sendAt(first + ms * (JackServer::sampleRate / 1000), bytes);
        return true;
    }
    std::vector<Sent> waitSent(std::size_t count, std::chrono::milliseconds timeout) {
        std::vector<Sent> heard;
        for (const auto &received : m_client.waitReceived(count, timeout))
            heard.push_back({received.frame * 1000.0 / JackServer::sampleRate, received.bytes});
        return heard;
    }

  private:
    JackTestClient m_client{"keyboard"};
};
using KeyboardTest = JackTest;
#endif

} // namespace parlet::test
