// The MIDI stream through winmm's own stream service. Our header record has the system's layout,
// so the buffers go to the system as they are; sizes passed are the system's own, since the
// window code passes the 28 bytes of the first seven fields.
#include "platform/RealServices.h"

#include <cstddef>
#include <map>
#include <mutex>

// After our headers (see Win32.h).
#include "WinMm.h"

namespace parlet {
namespace {

static_assert(sizeof(MIDIHDR) == sizeof(::MIDIHDR));
static_assert(offsetof(MIDIHDR, lpData) == offsetof(::MIDIHDR, lpData));
static_assert(offsetof(MIDIHDR, dwBufferLength) == offsetof(::MIDIHDR, dwBufferLength));
static_assert(offsetof(MIDIHDR, dwBytesRecorded) == offsetof(::MIDIHDR, dwBytesRecorded));
static_assert(offsetof(MIDIHDR, dwUser) == offsetof(::MIDIHDR, dwUser));
static_assert(offsetof(MIDIHDR, dwFlags) == offsetof(::MIDIHDR, dwFlags));
static_assert(offsetof(MIDIHDR, lpNext) == offsetof(::MIDIHDR, lpNext));
static_assert(offsetof(MIDIHDR, reserved) == offsetof(::MIDIHDR, reserved));
static_assert(offsetof(MIDIHDR, dwOffset) == offsetof(::MIDIHDR, dwOffset));
static_assert(offsetof(MIDIHDR, dwReserved) == offsetof(::MIDIHDR, dwReserved));
static_assert(sizeof(MIDIPROPTIMEDIV) == sizeof(::MIDIPROPTIMEDIV));

::MIDIHDR *native(MIDIHDR *header) {
    return reinterpret_cast<::MIDIHDR *>(header);
}

class WinMidiStream final : public MidiStream {
  public:
    ~WinMidiStream() override {
        for (auto &[handle, stream] : m_streams) {
            ::midiStreamStop(stream);
            ::midiStreamClose(stream);
        }
    }

    MMRESULT midiStreamOpen(HMIDISTRM *handle, unsigned *deviceId, unsigned cMidi,
                            std::uintptr_t callback, std::uintptr_t instance,
                            std::uint32_t flags) override {
        if (handle == nullptr || deviceId == nullptr)
            return MMSYSERR_INVALPARAM;
        UINT device = *deviceId;
        ::HMIDISTRM stream = nullptr;
        const MMRESULT result =
            ::midiStreamOpen(&stream, &device, cMidi, callback, instance, flags);
        if (result != MMSYSERR_NOERROR)
            return result;
        std::lock_guard lock(m_mutex);
        *handle = m_next++;
        m_streams[*handle] = stream;
        return MMSYSERR_NOERROR;
    }

    MMRESULT midiStreamProperty(HMIDISTRM handle, void *propData, std::uint32_t property) override {
        return onStream(handle, [&](::HMIDISTRM stream) {
            return ::midiStreamProperty(stream, static_cast<LPBYTE>(propData), property);
        });
    }

    MMRESULT midiOutPrepareHeader(HMIDISTRM handle, MIDIHDR *header, unsigned) override {
        return onStream(handle, [&](::HMIDISTRM stream) {
            return ::midiOutPrepareHeader(reinterpret_cast<::HMIDIOUT>(stream), native(header),
                                          sizeof(::MIDIHDR));
        });
    }

    MMRESULT midiOutUnprepareHeader(HMIDISTRM handle, MIDIHDR *header, unsigned) override {
        return onStream(handle, [&](::HMIDISTRM stream) {
            return ::midiOutUnprepareHeader(reinterpret_cast<::HMIDIOUT>(stream), native(header),
                                            sizeof(::MIDIHDR));
        });
    }

    MMRESULT midiStreamOut(HMIDISTRM handle, MIDIHDR *header, unsigned) override {
        return onStream(handle, [&](::HMIDISTRM stream) {
            return ::midiStreamOut(stream, native(header), sizeof(::MIDIHDR));
        });
    }

    MMRESULT midiStreamRestart(HMIDISTRM handle) override {
        return onStream(handle, ::midiStreamRestart);
    }
    MMRESULT midiStreamPause(HMIDISTRM handle) override {
        return onStream(handle, ::midiStreamPause);
    }
    MMRESULT midiStreamStop(HMIDISTRM handle) override {
        return onStream(handle, ::midiStreamStop);
    }

    MMRESULT midiStreamClose(HMIDISTRM handle) override {
        std::lock_guard lock(m_mutex);
        const auto stream = m_streams.find(handle);
        if (stream == m_streams.end())
            return MMSYSERR_INVALHANDLE;
        // Forgotten whatever the answer: a stream that refused to close is not one to use again,
        // and its number must not stay taken.
        const MMRESULT result = ::midiStreamClose(stream->second);
        m_streams.erase(stream);
        return result;
    }

    // The system's time record is larger than ours (a union of every time format): ask in
    // milliseconds and hand back the value, if the answer is in milliseconds (a driver may answer
    // in a format of its own choosing).
    MMRESULT midiStreamPosition(HMIDISTRM handle, MMTIME *time, unsigned) override {
        if (time == nullptr)
            return MMSYSERR_INVALPARAM;
        return onStream(handle, [&](::HMIDISTRM stream) {
            ::MMTIME position{};
            position.wType = time->wType;
            const MMRESULT result = ::midiStreamPosition(stream, &position, sizeof position);
            if (result != MMSYSERR_NOERROR)
                return result;
            return positionMs(position, time->ms) ? MMRESULT{MMSYSERR_NOERROR}
                                                  : MMRESULT{MMSYSERR_ERROR};
        });
    }

  private:
    // Runs `call` on the system's stream behind `handle`; MMSYSERR_INVALHANDLE for one not open.
    template <typename Call> MMRESULT onStream(HMIDISTRM handle, Call call) {
        ::HMIDISTRM stream = nullptr;
        {
            std::lock_guard lock(m_mutex);
            const auto found = m_streams.find(handle);
            if (found == m_streams.end())
                return MMSYSERR_INVALHANDLE;
            stream = found->second;
        }
        return call(stream);
    }

    std::mutex m_mutex;
    std::map<HMIDISTRM, ::HMIDISTRM> m_streams;
    HMIDISTRM m_next = 1;
};

} // namespace

std::unique_ptr<MidiStream> makeRealMidiStream(MidiSystem &) {
    return std::make_unique<WinMidiStream>();
}

} // namespace parlet
