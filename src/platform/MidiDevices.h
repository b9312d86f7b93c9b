#pragma once
#include "MmTypes.h"

#include <array>

namespace parlet {

// The capability records keep only what the program reads: the 32-byte product name,
// zero-terminated.
struct MIDIINCAPS {
    std::array<char, 32> szPname{};
};
struct MIDIOUTCAPS {
    std::array<char, 32> szPname{};
};

// Counts and names of the MIDI devices present, numbered from 0 per direction in a stable order.
// Output device -1 (MIDI_MAPPER) is the default output: it has a name and routes to device 0.
class MidiDevices {
  public:
    virtual ~MidiDevices() = default;
    virtual unsigned midiInGetNumDevs() = 0;
    virtual unsigned midiOutGetNumDevs() = 0;
    // MMSYSERR_BADDEVICEID leaves `caps` untouched.
    virtual MMRESULT midiInGetDevCapsA(int deviceId, MIDIINCAPS &caps) = 0;
    virtual MMRESULT midiOutGetDevCapsA(int deviceId, MIDIOUTCAPS &caps) = 0;
};

} // namespace parlet
