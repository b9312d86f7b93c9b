#pragma once
#include "MmTypes.h"

#include <cstdint>

namespace parlet {

// Called on the driver's thread. For MIM_DATA, param1 is the packed short message (status in
// bits 0-7, data bytes in bits 8-15 and 16-23) and param2 the time of arrival in milliseconds
// since midiInStart.
using MidiInProc = void (*)(HMIDIIN handle, std::uint32_t msg, std::uintptr_t instance,
                            std::uintptr_t param1, std::uintptr_t param2);

class MidiIn {
  public:
    virtual ~MidiIn() = default;
    // MMSYSERR_ALLOCATED (4) when the device is already open, MMSYSERR_BADDEVICEID when it does
    // not exist. `flags` must be CALLBACK_FUNCTION.
    virtual MMRESULT midiInOpen(HMIDIIN *handle, int deviceId, MidiInProc callback,
                                std::uintptr_t instance, std::uint32_t flags) = 0;
    // Starts delivery and sets the timestamps back to 0; does nothing on a started input.
    virtual MMRESULT midiInStart(HMIDIIN handle) = 0;
    // After it returns, the callback is not called again with data until the next start.
    virtual MMRESULT midiInStop(HMIDIIN handle) = 0;
    virtual MMRESULT midiInClose(HMIDIIN handle) = 0;
};

} // namespace parlet
