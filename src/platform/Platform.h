#pragma once
#include "Clock.h"
#include "FileDialogs.h"
#include "Folders.h"
#include "Mci.h"
#include "MessageBoxes.h"
#include "MidiDevices.h"
#include "MidiIn.h"
#include "MidiStream.h"
#include "Processes.h"

namespace parlet {

// Everything the windows ask of the operating system, handed to each window at construction.
struct Platform {
    MidiDevices &devices;
    MidiIn &midiIn;
    MidiStream &midiStream;
    Mci &mci;
    Processes &processes;
    Folders &folders;
    FileDialogs &fileDialogs;
    MessageBoxes &messages;
    Clock &clock;
};

} // namespace parlet
