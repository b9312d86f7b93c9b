#pragma once
// What the sequencer window's MIDI input callback does on the driver's thread: drop real-time
// bytes, append while recording, and hand the three remote-control messages to the window.
#include "platform/MidiIn.h"
#include "player/seq.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

namespace parlet::sequencer {

// Program changes 125, 126 and 127 on channel 16, matched as whole message words.
enum class RemoteAction { Stop, Record, Play };
std::optional<RemoteAction> remoteAction(std::uint32_t message);

class SeqInput final {
  public:
    // `post` runs on the driver's thread and must only hand the action over, never wait for
    // the window.
    SeqInput(seq::CaptureBuffer &buffer, std::function<void(RemoteAction)> post);
    SeqInput(const SeqInput &) = delete;
    SeqInput &operator=(const SeqInput &) = delete;

    // midiInRecording. Once stopRecording has returned no append lands any more, so the
    // recording can be turned into deltas. A remote control message that is recorded also ends
    // the recording, right after its own entry.
    void startRecording();
    void stopRecording();
    // The window's chkControl, read anew on every message.
    void setControl(bool allowed) { m_control.store(allowed); }

    // One short message with its time in milliseconds since the input was started.
    void onData(std::uint32_t message, std::uint32_t milliseconds);

  private:
    seq::CaptureBuffer &m_buffer;
    std::function<void(RemoteAction)> m_post;
    // Held only for the flag and one append, never while anything waits on the driver.
    std::mutex m_gate;
    bool m_recording = false;
    std::atomic<bool> m_control{false};
};

// The callback given to midiInOpen; `instance` is the SeqInput.
void seqMidiInProc(HMIDIIN handle, std::uint32_t msg, std::uintptr_t instance,
                   std::uintptr_t param1, std::uintptr_t param2);

} // namespace parlet::sequencer
