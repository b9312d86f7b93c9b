#include "StreamPlayer.h"

#include <cmath>
#include <cstring>

namespace parlet {
namespace {

constexpr std::size_t recordSize = 12;

std::uint32_t readWord(const char *at) {
    std::uint32_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

std::size_t parameterBytes(std::uint32_t event) {
    if (!(event & MEVT_F_LONG))
        return 0;
    return ((event & 0xFFFFFFu) + 3u) & ~std::size_t{3};
}

struct Smpte {
    std::uint32_t framesPerSecond; // 29 stands for 30 drop frame, 29.97 frames a second
    std::uint32_t ticksPerFrame;
};

std::optional<Smpte> smpteOf(std::uint32_t division) {
    if (!(division & 0x8000))
        return std::nullopt;
    auto fps = static_cast<std::uint32_t>(-static_cast<std::int8_t>((division >> 8) & 0xFF));
    return Smpte{fps, division & 0xFF};
}

// Ticks per second as a fraction: the SMPTE rates, 29 being 30000/1001 frames a second.
std::pair<std::uint64_t, std::uint64_t> smpteTickRate(Smpte smpte) {
    if (smpte.framesPerSecond == 29)
        return {30000ull * smpte.ticksPerFrame, 1001};
    return {std::uint64_t{smpte.framesPerSecond} * smpte.ticksPerFrame, 1};
}

} // namespace

bool StreamPlayer::validDivision(std::uint32_t division) {
    if (division > 0xFFFF || division == 0)
        return false;
    if (auto smpte = smpteOf(division)) {
        auto fps = smpte->framesPerSecond;
        return (fps == 24 || fps == 25 || fps == 29 || fps == 30) && smpte->ticksPerFrame > 0;
    }
    return true;
}

unsigned StreamPlayer::shortLength(std::uint8_t status) {
    if (status < 0x80)
        return 0;
    if (status < 0xC0 || (status >= 0xE0 && status < 0xF0) || status == 0xF2)
        return 3;
    if (status < 0xE0 || status == 0xF1 || status == 0xF3)
        return 2;
    if (status == 0xF0 || status == 0xF7 || status == 0xF4 || status == 0xF5 || status == 0xF9 ||
        status == 0xFD)
        return 0;
    return 1;
}

MMRESULT StreamPlayer::setDivision(std::uint32_t division) {
    if (!validDivision(division))
        return MMSYSERR_INVALPARAM;
    m_division = division;
    return MMSYSERR_NOERROR;
}

MMRESULT StreamPlayer::setTempo(std::uint32_t microsPerQuarter) {
    if (microsPerQuarter == 0 || microsPerQuarter > 0xFFFFFF)
        return MMSYSERR_INVALPARAM;
    m_segmentMicroTicks += (m_tick - m_segmentTick) * m_tempo;
    m_segmentTick = m_tick;
    m_tempo = microsPerQuarter;
    m_baseTempo = microsPerQuarter;
    return MMSYSERR_NOERROR;
}

MMRESULT StreamPlayer::setSpeed(double factor, time_point now) {
    if (!(factor > 0.0) || !std::isfinite(factor))
        return MMSYSERR_INVALPARAM;
    if (m_playing) {
        m_anchorMusical = position(now);
        m_anchorClock = now;
    }
    m_speed = factor;
    return MMSYSERR_NOERROR;
}

MMRESULT StreamPlayer::enqueue(MIDIHDR *header) {
    if (!header || !header->lpData || header->dwBytesRecorded > header->dwBufferLength)
        return MMSYSERR_INVALPARAM;
    auto flags = header->dwFlags.load();
    if (!(flags & MHDR_PREPARED))
        return MIDIERR_UNPREPARED;
    if (flags & MHDR_INQUEUE)
        return MIDIERR_STILLPLAYING;
    std::size_t length = header->dwBytesRecorded;
    for (std::size_t offset = 0; offset < length;) {
        if (length - offset < recordSize)
            return MMSYSERR_INVALPARAM;
        auto params = parameterBytes(readWord(header->lpData + offset + 8));
        if (length - offset - recordSize < params)
            return MMSYSERR_INVALPARAM;
        offset += recordSize + params;
    }
    header->dwFlags.store((flags & ~MHDR_DONE) | MHDR_INQUEUE);
    m_queue.push_back(header);
    return MMSYSERR_NOERROR;
}

void StreamPlayer::restart(time_point now) {
    if (m_playing)
        return;
    m_playing = true;
    m_anchorClock = now;
}

void StreamPlayer::pause(time_point now) {
    if (!m_playing)
        return;
    m_anchorMusical = position(now);
    m_playing = false;
    silence(now, false);
}

void StreamPlayer::stop(time_point now) {
    silence(now, true);
    while (!m_queue.empty())
        finishFront();
    m_playing = false;
    m_anchorMusical = nanoseconds{0};
    m_segmentTick = 0;
    m_segmentMicroTicks = 0;
    m_tick = 0;
    m_tempo = m_baseTempo;
    m_runningStatus = 0;
}

StreamPlayer::nanoseconds StreamPlayer::position(time_point now) const {
    if (!m_playing || now <= m_anchorClock)
        return m_anchorMusical;
    auto elapsed = now - m_anchorClock;
    if (m_speed == 1.0)
        return m_anchorMusical + elapsed;
    return m_anchorMusical +
           nanoseconds{std::llround(static_cast<double>(elapsed.count()) * m_speed)};
}

std::uint64_t StreamPlayer::positionTicks(time_point now) const {
    auto played = static_cast<std::uint64_t>(position(now).count());
    if (auto smpte = smpteOf(m_division)) {
        auto [num, den] = smpteTickRate(*smpte);
        return played / 1000 * num / (den * 1000000);
    }
    std::uint64_t microTicks = played * m_division / 1000;
    if (microTicks < m_segmentMicroTicks)
        return m_tick;
    return m_segmentTick + (microTicks - m_segmentMicroTicks) / m_tempo;
}

StreamPlayer::nanoseconds StreamPlayer::musicalTime(std::uint64_t tick) const {
    if (auto smpte = smpteOf(m_division)) {
        auto [num, den] = smpteTickRate(*smpte);
        // Whole seconds' worth of ticks apart, so that long pieces do not overflow.
        auto nanos = tick / num * den * 1000000000ull + tick % num * den * 1000000000ull / num;
        return nanoseconds{static_cast<std::int64_t>(nanos)};
    }
    auto microTicks = m_segmentMicroTicks + (tick - m_segmentTick) * m_tempo;
    return nanoseconds{static_cast<std::int64_t>(microTicks * 1000 / m_division)};
}

StreamPlayer::time_point StreamPlayer::clockTime(nanoseconds musical) const {
    auto ahead = musical - m_anchorMusical;
    if (m_speed == 1.0)
        return m_anchorClock + ahead;
    return m_anchorClock + nanoseconds{std::llround(static_cast<double>(ahead.count()) / m_speed)};
}

std::optional<StreamPlayer::Pending> StreamPlayer::peek() const {
    const MIDIHDR *header = m_queue.front();
    if (header->dwBytesRecorded - m_offset < recordSize)
        return std::nullopt;
    const char *record = header->lpData + m_offset;
    auto event = readWord(record + 8);
    return Pending{m_tick + readWord(record), event, m_offset + recordSize + parameterBytes(event)};
}

std::optional<StreamPlayer::time_point> StreamPlayer::pump(time_point now) {
    if (!m_playing)
        return std::nullopt;
    while (!m_queue.empty()) {
        auto pending = peek();
        if (!pending) {
            finishFront();
            continue;
        }
        auto when = clockTime(musicalTime(pending->tick));
        if (when > now)
            return when;
        const char *record = m_queue.front()->lpData + m_offset;
        m_tick = pending->tick;
        m_offset = pending->next;
        auto event = pending->event;
        auto type = (event >> 24) & ~(MEVT_F_CALLBACK >> 24);
        if (type == MEVT_SHORTMSG) {
            sendShort(event, when);
        } else if (type == MEVT_TEMPO) {
            auto tempo = event & 0xFFFFFF;
            if (tempo != 0) {
                m_segmentMicroTicks += (m_tick - m_segmentTick) * m_tempo;
                m_segmentTick = m_tick;
                m_tempo = tempo;
            }
        } else if (type == MEVT_LONGMSG) {
            send(reinterpret_cast<const std::uint8_t *>(record + recordSize), event & 0xFFFFFF,
                 when);
        }
    }
    return std::nullopt;
}

void StreamPlayer::finishFront() {
    MIDIHDR *header = m_queue.front();
    m_queue.pop_front();
    m_offset = 0;
    header->dwFlags.store((header->dwFlags.load() & ~MHDR_INQUEUE) | MHDR_DONE);
}

void StreamPlayer::send(const std::uint8_t *bytes, std::size_t length, time_point when) {
    if (length)
        m_out.send(std::span<const std::uint8_t>(bytes, length), when);
}

void StreamPlayer::sendShort(std::uint32_t word, time_point when) {
    std::uint8_t bytes[3];
    auto first = static_cast<std::uint8_t>(word & 0xFF);
    std::uint8_t status;
    if (first < 0x80) {
        // Running status: the word holds the data bytes only.
        if (!m_runningStatus)
            return;
        status = m_runningStatus;
        bytes[1] = first;
        bytes[2] = static_cast<std::uint8_t>((word >> 8) & 0x7F);
    } else {
        status = first;
        bytes[1] = static_cast<std::uint8_t>((word >> 8) & 0x7F);
        bytes[2] = static_cast<std::uint8_t>((word >> 16) & 0x7F);
        if (status < 0xF0)
            m_runningStatus = status;
        else if (status < 0xF8)
            m_runningStatus = 0;
    }
    bytes[0] = status;
    auto length = shortLength(status);
    if (!length)
        return;
    auto channel = status & 0x0F;
    switch (status & 0xF0) {
    case 0x90:
        m_sounding[channel][bytes[1]] = bytes[2] != 0;
        break;
    case 0x80:
        m_sounding[channel][bytes[1]] = false;
        break;
    case 0xB0:
        if (bytes[1] == 120 || bytes[1] == 123)
            m_sounding[channel].reset();
        break;
    default:
        break;
    }
    send(bytes, length, when);
}

void StreamPlayer::silence(time_point now, bool allChannels) {
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        auto &notes = m_sounding[channel];
        for (std::uint8_t note = 0; notes.any() && note < 128; ++note) {
            if (!notes[note])
                continue;
            notes[note] = false;
            const std::uint8_t off[3] = {static_cast<std::uint8_t>(0x80 | channel), note, 0};
            send(off, 3, now);
        }
    }
    if (!allChannels)
        return;
    // Notes held by a sustain pedal or started inside a system-exclusive message are not
    // tracked; these catch them.
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        const std::uint8_t allNotesOff[3] = {static_cast<std::uint8_t>(0xB0 | channel), 123, 0};
        const std::uint8_t allSoundOff[3] = {static_cast<std::uint8_t>(0xB0 | channel), 120, 0};
        send(allNotesOff, 3, now);
        send(allSoundOff, 3, now);
    }
}

} // namespace parlet
