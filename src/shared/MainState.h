#pragma once
// What the main window shares with the windows of every subsystem: the public state they read and
// write, the platform, the window to parent their dialogs on, and the one-second tick.
#include "platform/MmTypes.h"
#include "platform/Platform.h"
#include "shared/SeqTimer.h"

#include <cstdint>
#include <optional>
#include <string>

class QWidget;

namespace parlet {

struct MainState {
    MainState(Platform &platform, QWidget &window, SeqTimer &seqTimer)
        : platform(platform), window(window), seqTimer(seqTimer) {}

    Platform &platform;
    QWidget &window; // parent of the modal windows
    SeqTimer &seqTimer;

    std::int32_t midiInDev = -1; // -1 = none chosen
    HMIDIIN midiInHnd = 0;       // the main window's capture input; 0 = not open
    std::int16_t midiOutDev = -1;
    std::optional<double> seqoTempo; // empty until an MCI playback has read the tempo
    std::string midDir;
    std::string midFile;
    bool seqRecording = false;
};

} // namespace parlet
