#include "SeqInput.h"

namespace parlet::sequencer {

std::optional<RemoteAction> remoteAction(std::uint32_t message) {
    switch (message) {
    case 0x7DCF:
        return RemoteAction::Stop;
    case 0x7ECF:
        return RemoteAction::Record;
    case 0x7FCF:
        return RemoteAction::Play;
    default:
        return std::nullopt;
    }
}

SeqInput::SeqInput(seq::CaptureBuffer &buffer, std::function<void(RemoteAction)> post)
    : m_buffer(buffer), m_post(std::move(post)) {}

void SeqInput::startRecording() {
    std::lock_guard lock(m_gate);
    m_recording = true;
}

void SeqInput::stopRecording() {
    std::lock_guard lock(m_gate);
    m_recording = false;
}

void SeqInput::onData(std::uint32_t message, std::uint32_t milliseconds) {
    if ((message & 0xF8) == 0xF8)
        return;
    const auto action = m_control.load() ? remoteAction(message) : std::nullopt;
    {
        std::lock_guard lock(m_gate);
        if (m_recording) {
            m_buffer.capAppend(static_cast<std::int32_t>(message),
                               static_cast<std::int32_t>(milliseconds));
            // A remote control message is the last entry of its take: what arrives before the
            // window has acted on it (the note-offs of a chord still held) is not recorded.
            if (action)
                m_recording = false;
        }
    }
    if (action)
        m_post(*action);
}

void seqMidiInProc(HMIDIIN, std::uint32_t msg, std::uintptr_t instance, std::uintptr_t param1,
                   std::uintptr_t param2) {
    if (msg != MIM_DATA || instance == 0)
        return;
    reinterpret_cast<SeqInput *>(instance)->onData(static_cast<std::uint32_t>(param1),
                                                   static_cast<std::uint32_t>(param2));
}

} // namespace parlet::sequencer
