#include "StreamService.h"

namespace parlet {

namespace {
// An SMPTE division widened from the file's signed 16-bit field (0xFFFFE728 for 0xE728) means
// the field itself.
std::uint32_t divisionField(std::uint32_t division) {
    return (division & 0xFFFF8000u) == 0xFFFF8000u ? division & 0xFFFFu : division;
}
} // namespace

StreamService::StreamService(MidiOutputs &outputs, StreamTimerFactory timers, bool realtime)
    : m_outputs(outputs), m_timers(std::move(timers)), m_realtime(realtime) {}

StreamService::~StreamService() = default;

std::shared_ptr<StreamScheduler> StreamService::find(HMIDISTRM handle) {
    std::lock_guard lock(m_mutex);
    auto it = m_streams.find(handle);
    return it == m_streams.end() ? nullptr : it->second;
}

MMRESULT StreamService::midiStreamOpen(HMIDISTRM *handle, unsigned *deviceId, unsigned cMidi,
                                       std::uintptr_t callback, std::uintptr_t,
                                       std::uint32_t flags) {
    if (!handle || !deviceId || cMidi != 1)
        return MMSYSERR_INVALPARAM;
    if (callback != 0 || flags != 0)
        return MMSYSERR_INVALFLAG; // no callbacks: the window code polls the done bits
    std::unique_ptr<MidiOutPort> port;
    auto result = m_outputs.openOutput(static_cast<int>(*deviceId), port);
    if (result != MMSYSERR_NOERROR)
        return result;
    if (!port)
        return MMSYSERR_ERROR;
    auto scheduler = std::make_shared<StreamScheduler>(m_timers(), std::move(port), m_realtime);
    std::lock_guard lock(m_mutex);
    *handle = m_next++;
    m_streams.emplace(*handle, std::move(scheduler));
    return MMSYSERR_NOERROR;
}

MMRESULT StreamService::midiStreamProperty(HMIDISTRM handle, void *propData,
                                           std::uint32_t property) {
    auto stream = find(handle);
    if (!stream)
        return MMSYSERR_INVALHANDLE;
    if (!propData)
        return MMSYSERR_INVALPARAM;
    bool set = property & MIDIPROP_SET;
    bool get = property & MIDIPROP_GET;
    if (set == get)
        return MMSYSERR_INVALFLAG;
    // Both property records are {size, value}.
    auto *record = static_cast<std::uint32_t *>(propData);
    if (record[0] != 8)
        return MMSYSERR_INVALPARAM;
    switch (property & ~(MIDIPROP_SET | MIDIPROP_GET)) {
    case MIDIPROP_TIMEDIV:
        if (set)
            return stream->setDivision(divisionField(record[1]));
        record[1] = stream->division();
        return MMSYSERR_NOERROR;
    case MIDIPROP_TEMPO:
        if (set)
            return stream->setTempo(record[1]);
        record[1] = stream->tempo();
        return MMSYSERR_NOERROR;
    default:
        return MMSYSERR_INVALPARAM;
    }
}

MMRESULT StreamService::midiOutPrepareHeader(HMIDISTRM handle, MIDIHDR *header, unsigned size) {
    if (!find(handle))
        return MMSYSERR_INVALHANDLE;
    if (!header || size < headerSize || !header->lpData)
        return MMSYSERR_INVALPARAM;
    header->dwFlags.fetch_or(MHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

MMRESULT StreamService::midiOutUnprepareHeader(HMIDISTRM handle, MIDIHDR *header, unsigned size) {
    if (!find(handle))
        return MMSYSERR_INVALHANDLE;
    if (!header || size < headerSize)
        return MMSYSERR_INVALPARAM;
    if (header->dwFlags.load() & MHDR_INQUEUE)
        return MIDIERR_STILLPLAYING;
    header->dwFlags.fetch_and(~MHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

MMRESULT StreamService::midiStreamOut(HMIDISTRM handle, MIDIHDR *header, unsigned size) {
    auto stream = find(handle);
    if (!stream)
        return MMSYSERR_INVALHANDLE;
    if (size < headerSize)
        return MMSYSERR_INVALPARAM;
    return stream->enqueue(header);
}

MMRESULT StreamService::onStream(HMIDISTRM handle, void (StreamScheduler::*control)()) {
    auto stream = find(handle);
    if (!stream)
        return MMSYSERR_INVALHANDLE;
    ((*stream).*control)();
    return MMSYSERR_NOERROR;
}

MMRESULT StreamService::midiStreamRestart(HMIDISTRM handle) {
    return onStream(handle, &StreamScheduler::restart);
}

MMRESULT StreamService::midiStreamPause(HMIDISTRM handle) {
    return onStream(handle, &StreamScheduler::pause);
}

MMRESULT StreamService::midiStreamStop(HMIDISTRM handle) {
    return onStream(handle, &StreamScheduler::stop);
}

// Closing a stream that still plays stops it first: the window code closes without stopping
// after a failed start, and its buffers must be returned before it frees them.
MMRESULT StreamService::midiStreamClose(HMIDISTRM handle) {
    std::shared_ptr<StreamScheduler> stream;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_streams.find(handle);
        if (it == m_streams.end())
            return MMSYSERR_INVALHANDLE;
        stream = std::move(it->second);
        m_streams.erase(it);
    }
    stream->stop();
    return MMSYSERR_NOERROR;
}

MMRESULT StreamService::midiStreamPosition(HMIDISTRM handle, MMTIME *time, unsigned size) {
    auto stream = find(handle);
    if (!stream)
        return MMSYSERR_INVALHANDLE;
    if (!time || size < sizeof(MMTIME))
        return MMSYSERR_INVALPARAM;
    if (time->wType != TIME_MS)
        return MMSYSERR_INVALPARAM;
    time->ms = static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(stream->position()).count());
    return MMSYSERR_NOERROR;
}

} // namespace parlet
