#pragma once
// What the ALSA and JACK backends share behind the real MidiSystem.
#include "platform/MidiIn.h"
#include "platform/MidiMessages.h"

#include <cstdint>
#include <string>

namespace parlet {

// Where an open input delivers: the caller's function and the values it gets back.
struct MidiInTarget {
    MidiInProc callback = nullptr;
    HMIDIIN handle = 0;
    std::uintptr_t instance = 0;
};

// One open input port. Data reaches the target only between start() and stop(); once stop()
// (or the destructor) returns, no further data call is made.
class MidiInputPort {
  public:
    virtual ~MidiInputPort() = default;
    // Sets the timestamps back to 0; does nothing when already started.
    virtual void start() = 0;
    virtual void stop() = 0;
};

// Cuts a name to the 31 bytes that fit the capability record, never inside a UTF-8 sequence.
std::string fitDeviceName(const std::string &name);

} // namespace parlet
