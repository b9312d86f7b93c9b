#include "RealPlatform.h"

#include "RealServices.h"

namespace parlet {

struct RealPlatform::Services {
    std::unique_ptr<MidiSystem> midi = makeRealMidiSystem();
    std::unique_ptr<MidiStream> stream = makeRealMidiStream(*midi);
    std::unique_ptr<Mci> mci = makeRealMci(*midi);
    std::unique_ptr<Processes> processes = makeRealProcesses();
    std::unique_ptr<Folders> folders = makeRealFolders();
    std::unique_ptr<FileDialogs> fileDialogs = makeQtFileDialogs();
    std::unique_ptr<MessageBoxes> messages = makeQtMessageBoxes();
    std::unique_ptr<Clock> clock = makeSteadyClock();
};

RealPlatform::RealPlatform()
    : m_services(std::make_unique<Services>()),
      m_platform(std::make_unique<Platform>(
          Platform{*m_services->midi, *m_services->midi, *m_services->stream, *m_services->mci,
                   *m_services->processes, *m_services->folders, *m_services->fileDialogs,
                   *m_services->messages, *m_services->clock})) {}

// The services that play or capture stop before the MIDI system they use goes away.
RealPlatform::~RealPlatform() {
    m_platform.reset();
    m_services->mci.reset();
    m_services->stream.reset();
}

} // namespace parlet
