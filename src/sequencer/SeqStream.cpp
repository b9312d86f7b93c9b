#include "SeqStream.h"

#include "platform/Memory.h"

#include <cstring>
#include <string>

namespace parlet::sequencer {

using namespace std::chrono_literals;

namespace {
constexpr unsigned kHeaderSize = 28;

void putWord(std::uint8_t *at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}
} // namespace

std::uint32_t streamEvent(std::int32_t capEvent) {
    auto word = static_cast<std::uint32_t>(capEvent);
    if ((word & 0xFF) == 0xFF)
        return MEVT_TEMPO << 24 | word >> 8;
    return word;
}

std::uint32_t fillBlock(const seq::CaptureBuffer &buffer, std::int64_t count, std::int64_t &index,
                        std::span<std::uint8_t, kBlockBytes> block) {
    std::size_t bytes = 0;
    for (std::int64_t records = 0; index < count && records < kRecordsPerBlock; ++records) {
        putWord(&block[bytes], static_cast<std::uint32_t>(buffer.capTime(index)));
        putWord(&block[bytes + 4], 0);
        putWord(&block[bytes + 8], streamEvent(buffer.capEvent(index)));
        bytes += 12;
        ++index;
    }
    std::memset(block.data() + bytes, 0, kBlockBytes - bytes);
    return static_cast<std::uint32_t>(bytes);
}

SeqStream::SeqStream(MidiStream &streams, MessageBoxes &messages, Clock &clock)
    : m_streams(streams), m_messages(messages), m_clock(clock) {}

SeqStream::~SeqStream() {
    stop();
}

bool SeqStream::allocate(int index) {
    seqBuf[index] = GlobalAlloc(GMEM_ZEROINIT, kBlockBytes);
    if (!seqBuf[index]) {
        m_messages.MsgBox("Not enough memory to play this sequence");
        return false;
    }
    auto &header = seqHdr[index];
    header.lpData = seqBuf[index];
    header.dwBufferLength = kBlockBytes;
    header.dwBytesRecorded = 0;
    header.dwUser = 0;
    header.dwFlags = 0;
    header.lpNext = nullptr;
    header.reserved = 0;
    return true;
}

SeqStream::Start SeqStream::start(std::int16_t device, std::int32_t division,
                                  const seq::CaptureBuffer &buffer,
                                  const std::function<void()> &playing) {
    // Widened as a signed number: the mapper (-1) stays the mapper.
    auto deviceId = static_cast<unsigned>(std::int32_t{device});
    if (m_streams.midiStreamOpen(&seqOutHnd, &deviceId, 1, 0, 0, 0) != MMSYSERR_NOERROR) {
        seqOutHnd = 0;
        m_messages.MsgBox("Error opening MIDI output device");
        return Start::NotStarted;
    }
    // The file's 16 bits as they stand: an SMPTE division is negative as a number, and widened
    // with its sign it is no division at all.
    MIDIPROPTIMEDIV property{8, static_cast<std::uint16_t>(division)};
    if (m_streams.midiStreamProperty(seqOutHnd, &property, MIDIPROP_SET | MIDIPROP_TIMEDIV) !=
        MMSYSERR_NOERROR) {
        m_messages.MsgBox("error setting time division");
        closeStream();
        return Start::NotStarted;
    }
    playing();
    m_buffer = &buffer;
    m_count = buffer.capCount();
    seqQueData(-1);
    if (!allocate(0))
        return Start::OutOfMemory;
    bool done = seqQueData(1);
    // The lead-in gives a newly opened port time to settle before the first event.
    m_clock.Sleep(500ms);
    if (m_streams.midiStreamRestart(seqOutHnd) != MMSYSERR_NOERROR) {
        m_messages.MsgBox("Error in midistreamrestart");
        closeStream();
        return Start::RestartFailed;
    }
    std::int16_t last = 1;
    for (std::int16_t k = 2; k <= kBlocks && !done; ++k) {
        if (!allocate(k - 1))
            return Start::OutOfMemory;
        done = seqQueData(k);
        last = k;
    }
    m_seqBufCount = last;
    return Start::Playing;
}

bool SeqStream::seqQueData(std::int16_t i) {
    if (i < 0) {
        seqPlayIndex = 0;
        return false;
    }
    if (seqPlayIndex >= m_count)
        return true;
    auto &header = seqHdr[static_cast<std::size_t>(i - 1)];
    header.dwBytesRecorded = fillBlock(*m_buffer, m_count, seqPlayIndex, m_scratch);
    bool done = seqPlayIndex >= m_count;
    RtlMoveMemory(seqBuf[static_cast<std::size_t>(i - 1)], m_scratch.data(), kBlockBytes);
    header.dwFlags = 0;
    header.dwBufferLength = kBlockBytes;
    if (m_streams.midiOutPrepareHeader(seqOutHnd, &header, kHeaderSize) != MMSYSERR_NOERROR) {
        m_messages.MsgBox("Error in prepare out header");
        return done;
    }
    m_prepared[static_cast<std::size_t>(i - 1)] = true;
    if (auto result = m_streams.midiStreamOut(seqOutHnd, &header, kHeaderSize);
        result != MMSYSERR_NOERROR)
        m_messages.MsgBox("Error in midiStreamOut: " + std::to_string(result));
    return done;
}

void SeqStream::pause() {
    m_streams.midiStreamPause(seqOutHnd);
}

void SeqStream::resume() {
    m_streams.midiStreamRestart(seqOutHnd);
}

void SeqStream::stop() {
    closeStream();
    // Every block this playback allocated, whether or not it was queued, and none twice. One that
    // the system would not give back is left to it rather than freed under its feet.
    for (std::size_t i = 0; i < seqBuf.size(); ++i)
        seqBuf[i] = m_prepared[i] ? nullptr : GlobalFree(seqBuf[i]);
    m_prepared = {};
}

// Stop returns every queued header; each is then unprepared, which the system may refuse for a
// moment while it hands the header back (a second in all, however many it holds on to). The
// handle is forgotten whatever close answers: the next playback opens a stream of its own.
void SeqStream::closeStream() {
    if (seqOutHnd == 0)
        return;
    m_streams.midiStreamStop(seqOutHnd);
    int waits = 0;
    for (std::size_t i = 0; i < seqHdr.size(); ++i) {
        while (m_prepared[i]) {
            m_prepared[i] = m_streams.midiOutUnprepareHeader(seqOutHnd, &seqHdr[i], kHeaderSize) ==
                            MIDIERR_STILLPLAYING;
            if (!m_prepared[i] || ++waits > 100)
                break;
            m_clock.Sleep(10ms);
        }
    }
    m_streams.midiStreamClose(seqOutHnd);
    seqOutHnd = 0;
}

bool SeqStream::lastBufferDone() const {
    return m_seqBufCount > 0 &&
           (seqHdr[static_cast<std::size_t>(m_seqBufCount - 1)].dwFlags.load() & MHDR_DONE) != 0;
}

std::int64_t SeqStream::positionMs() {
    MMTIME time{TIME_MS, 0};
    m_streams.midiStreamPosition(seqOutHnd, &time, sizeof time);
    return time.ms;
}

int SeqStream::blocksInUse() const {
    int n = 0;
    for (auto *block : seqBuf)
        n += block != nullptr;
    return n;
}

} // namespace parlet::sequencer
