#pragma once
// Factories of the real services, each defined beside its implementation.
#include "MidiOut.h"
#include "Platform.h"

#include <memory>

namespace parlet {

// MIDI devices, input and output share one backend (ALSA sequencer and JACK).
class MidiSystem : public MidiDevices, public MidiIn, public MidiOutputs {};

std::unique_ptr<MidiSystem> makeRealMidiSystem();
std::unique_ptr<MidiStream> makeRealMidiStream(MidiSystem &midi);
std::unique_ptr<Mci> makeRealMci(MidiSystem &midi);
std::unique_ptr<Processes> makeRealProcesses();
std::unique_ptr<Folders> makeRealFolders();
std::unique_ptr<FileDialogs> makeQtFileDialogs();
std::unique_ptr<MessageBoxes> makeQtMessageBoxes();
std::unique_ptr<Clock> makeSteadyClock();

} // namespace parlet
