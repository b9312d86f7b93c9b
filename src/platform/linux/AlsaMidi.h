#pragma once
// ALSA sequencer ports through RtMidi. Without /dev/snd/seq there are none, and nothing is
// opened or printed.
#include "MidiBackend.h"
#include "platform/MidiOut.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class RtMidiIn;
class RtMidiOut;

namespace parlet {

class AlsaMidi final {
  public:
    explicit AlsaMidi(std::string clientName);
    ~AlsaMidi();
    AlsaMidi(const AlsaMidi &) = delete;
    AlsaMidi &operator=(const AlsaMidi &) = delete;

    // Names of the other clients' ports, "client:port" without the numbers ALSA hands out
    // afresh at every plug, sorted.
    std::vector<std::string> sources();
    std::vector<std::string> sinks();

    std::unique_ptr<MidiInputPort> openInput(const std::string &source, const MidiInTarget &target);
    std::unique_ptr<MidiOutPort> openOutput(const std::string &sink);

  private:
    bool present() const;

    std::string m_clientName;
    std::mutex m_mutex;
    std::unique_ptr<RtMidiIn> m_sourceLister;
    std::unique_ptr<RtMidiOut> m_sinkLister;
};

// "Client:Port 20:0" becomes "Client:Port".
std::string stableAlsaName(const std::string &rtMidiName);

} // namespace parlet
