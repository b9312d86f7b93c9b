#pragma once
#include "SmfReader.h"
#include "StreamScheduler.h"
#include "platform/Mci.h"
#include "platform/MidiOut.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace parlet {

// The MCI sequencer: opens Standard MIDI Files under an alias and plays them through the stream
// scheduler. Lengths and positions are sixteenth notes for files timed in pulses per quarter
// note, hh:mm:ss:ff for SMPTE-timed files; tempo is beats (or frames) per minute (second).
// Called from one thread (the window's).
class SequencerDevice final : public Mci {
  public:
    SequencerDevice(MidiOutputs &outputs, StreamTimerFactory timers, bool realtime);
    ~SequencerDevice() override;

    MMRESULT mciSendStringA(const std::string &command, std::string *returnString,
                            unsigned returnLength, std::uintptr_t hwndCallback) override;
    bool mciGetErrorStringA(MMRESULT error, std::string &text, unsigned length) override;

  private:
    enum class Mode { Stopped, Playing, Paused };
    struct Device {
        SmfFile file;
        std::vector<char> records; // the whole file as one stream buffer
        MIDIHDR header;
        int port = MIDI_MAPPER;
        double nominalTempo = 0; // beats per minute, or frames per second for SMPTE files
        // What "status ... tempo" says at nominal speed: whole beats, so that setting the tempo
        // to this reply plays at exactly the nominal speed, and other tempos in proportion.
        double tempoReply = 0;
        double tempo = 0;    // as last set; 0 = nominal
        bool atStart = true; // rewound (or never played) with nothing sounding
        Mode mode = Mode::Stopped;
        std::unique_ptr<StreamScheduler> scheduler;
    };

    MMRESULT open(const std::vector<std::string> &words);
    MMRESULT play(Device &device, const std::vector<std::string> &words);
    MMRESULT set(Device &device, const std::vector<std::string> &words);
    MMRESULT status(Device &device, const std::vector<std::string> &words, std::string &reply);
    MMRESULT connect(Device &device, int port);
    void rewind(Device &device);
    void noticeEnd(Device &device);
    std::string timeReply(const Device &device, std::uint64_t ticks) const;

    MidiOutputs &m_outputs;
    StreamTimerFactory m_timers;
    bool m_realtime;
    std::map<std::string, std::unique_ptr<Device>> m_devices; // by alias, lower case
};

} // namespace parlet
