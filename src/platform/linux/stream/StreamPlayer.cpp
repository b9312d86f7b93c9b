#include "StreamPlayer.h"

#include <algorithm>
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

MMRESULT StreamPlayer::setTempo(std::uint32_t microsPerQuarter, time_point now) {
    if (microsPerQuarter == 0 || microsPerQuarter > 0xFFFFFF)
        return MMSYSERR_INVALPARAM;
    if (m_playing)
        takeBack(now);
    m_cursor.segmentMicroTicks += (m_cursor.tick - m_cursor.segmentTick) * m_cursor.tempo;
    m_cursor.segmentTick = m_cursor.tick;
    m_cursor.tempo = microsPerQuarter;
    m_baseTempo = microsPerQuarter;
    return MMSYSERR_NOERROR;
}

MMRESULT StreamPlayer::setSpeed(double factor, time_point now) {
    if (!(factor > 0.0) || !std::isfinite(factor))
        return MMSYSERR_INVALPARAM;
    if (m_playing) {
        takeBack(now);
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
    takeBack(now);
    m_anchorMusical = position(now);
    m_playing = false;
    silence(now, false);
}

void StreamPlayer::stop(time_point now) {
    takeBack(now);
    silence(now, true);
    while (!m_queue.empty())
        finishFront();
    m_playing = false;
    m_anchorMusical = nanoseconds{0};
    m_cursor = Cursor{};
    m_cursor.tempo = m_baseTempo;
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
    // The reading state after the last event played, not after the last one handed over.
    auto due = std::find_if(m_handed.begin(), m_handed.end(),
                            [&](const Handed &handed) { return handed.when > now; });
    const Cursor &at = due == m_handed.end() ? m_cursor : due->before;
    std::uint64_t microTicks = played * m_division / 1000;
    if (microTicks < at.segmentMicroTicks)
        return at.tick;
    return at.segmentTick + (microTicks - at.segmentMicroTicks) / at.tempo;
}

StreamPlayer::nanoseconds StreamPlayer::musicalTime(std::uint64_t tick) const {
    if (auto smpte = smpteOf(m_division)) {
        auto [num, den] = smpteTickRate(*smpte);
        // Whole seconds' worth of ticks apart, so that long pieces do not overflow.
        auto nanos = tick / num * den * 1000000000ull + tick % num * den * 1000000000ull / num;
        return nanoseconds{static_cast<std::int64_t>(nanos)};
    }
    auto microTicks = m_cursor.segmentMicroTicks + (tick - m_cursor.segmentTick) * m_cursor.tempo;
    return nanoseconds{static_cast<std::int64_t>(microTicks * 1000 / m_division)};
}

StreamPlayer::time_point StreamPlayer::clockTime(nanoseconds musical) const {
    auto ahead = musical - m_anchorMusical;
    if (m_speed == 1.0)
        return m_anchorClock + ahead;
    return m_anchorClock + nanoseconds{std::llround(static_cast<double>(ahead.count()) / m_speed)};
}

std::optional<StreamPlayer::Pending> StreamPlayer::peek() const {
    const MIDIHDR *header = m_queue[m_cursor.header];
    if (header->dwBytesRecorded - m_cursor.offset < recordSize)
        return std::nullopt;
    const char *record = header->lpData + m_cursor.offset;
    auto event = readWord(record + 8);
    return Pending{m_cursor.tick + readWord(record), event,
                   m_cursor.offset + recordSize + parameterBytes(event)};
}

std::optional<StreamPlayer::time_point> StreamPlayer::pump(time_point now) {
    if (!m_playing)
        return std::nullopt;
    std::optional<time_point> next;
    const auto horizon = now + m_out.lookahead();
    while (m_cursor.header < m_queue.size()) {
        auto pending = peek();
        if (!pending) {
            ++m_cursor.header;
            m_cursor.offset = 0;
            continue;
        }
        auto when = clockTime(musicalTime(pending->tick));
        if (when > horizon) {
            next = when - m_out.lookahead();
            break;
        }
        m_handed.push_back(handOver(*pending, when));
    }
    settle(now);
    if (auto finish = frontFinish(); finish && (!next || *finish < *next))
        next = finish;
    return next;
}

StreamPlayer::Handed StreamPlayer::handOver(const Pending &pending, time_point when) {
    Handed handed{when, m_cursor};
    const char *record = m_queue[m_cursor.header]->lpData + m_cursor.offset;
    m_cursor.tick = pending.tick;
    m_cursor.offset = pending.next;
    auto event = pending.event;
    auto type = (event >> 24) & ~(MEVT_F_CALLBACK >> 24);
    if (type == MEVT_TEMPO) {
        auto tempo = event & 0xFFFFFF;
        if (tempo != 0) {
            m_cursor.segmentMicroTicks += (m_cursor.tick - m_cursor.segmentTick) * m_cursor.tempo;
            m_cursor.segmentTick = m_cursor.tick;
            m_cursor.tempo = tempo;
        }
    } else if (type == MEVT_LONGMSG && (event & 0xFFFFFF) != 0) {
        m_out.send({reinterpret_cast<const std::uint8_t *>(record + recordSize), event & 0xFFFFFF},
                   when);
        handed.sent = true;
    } else if (type == MEVT_SHORTMSG) {
        auto first = static_cast<std::uint8_t>(event & 0xFF);
        auto &bytes = handed.note;
        if (first < 0x80) {
            // Running status: the word holds the data bytes only.
            bytes = {m_cursor.runningStatus, first, static_cast<std::uint8_t>((event >> 8) & 0x7F)};
        } else {
            bytes = {first, static_cast<std::uint8_t>((event >> 8) & 0x7F),
                     static_cast<std::uint8_t>((event >> 16) & 0x7F)};
            if (first < 0xF0)
                m_cursor.runningStatus = first;
            else if (first < 0xF8)
                m_cursor.runningStatus = 0;
        }
        if (auto length = shortLength(bytes[0])) {
            m_out.send({bytes.data(), length}, when);
            handed.sent = true;
        }
    }
    return handed;
}

void StreamPlayer::settle(time_point now) {
    while (!m_handed.empty() && m_handed.front().when <= now) {
        if (m_handed.front().sent)
            trackSounding(m_handed.front().note);
        m_handed.pop_front();
    }
    while (m_cursor.header > 0 && (m_handed.empty() || m_handed.front().before.header > 0))
        finishFront();
}

void StreamPlayer::takeBack(time_point now) {
    settle(now);
    if (m_handed.empty())
        return;
    auto withdrawn = m_out.takeBack(now);
    // The port may have let a few out already: a cycle that ran ahead of this clock's view.
    auto sent = static_cast<std::size_t>(
        std::count_if(m_handed.begin(), m_handed.end(), [](const Handed &h) { return h.sent; }));
    for (auto played = sent - std::min(withdrawn, sent); played > 0; m_handed.pop_front()) {
        if (m_handed.front().sent) {
            trackSounding(m_handed.front().note);
            --played;
        }
    }
    if (!m_handed.empty()) {
        m_cursor = m_handed.front().before;
        m_handed.clear();
    }
    settle(now);
}

std::optional<StreamPlayer::time_point> StreamPlayer::frontFinish() const {
    if (m_cursor.header == 0 || m_handed.empty())
        return std::nullopt;
    auto last = std::find_if(m_handed.begin(), m_handed.end(),
                             [](const Handed &h) { return h.before.header > 0; });
    return std::prev(last)->when;
}

void StreamPlayer::finishFront() {
    MIDIHDR *header = m_queue.front();
    m_queue.pop_front();
    if (m_cursor.header > 0) {
        --m_cursor.header;
        for (auto &handed : m_handed)
            --handed.before.header;
    } else {
        m_cursor.offset = 0;
    }
    header->dwFlags.store((header->dwFlags.load() & ~MHDR_INQUEUE) | MHDR_DONE);
}

void StreamPlayer::trackSounding(const std::array<std::uint8_t, 3> &message) {
    auto channel = message[0] & 0x0F;
    switch (message[0] & 0xF0) {
    case 0x90:
        m_sounding[channel][message[1]] = message[2] != 0;
        break;
    case 0x80:
        m_sounding[channel][message[1]] = false;
        break;
    case 0xB0:
        if (message[1] == 120 || message[1] == 123)
            m_sounding[channel].reset();
        break;
    default:
        break;
    }
}

void StreamPlayer::silence(time_point now, bool allChannels) {
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        auto &notes = m_sounding[channel];
        for (std::uint8_t note = 0; notes.any() && note < 128; ++note) {
            if (!notes[note])
                continue;
            notes[note] = false;
            const std::uint8_t off[3] = {static_cast<std::uint8_t>(0x80 | channel), note, 0};
            m_out.send(off, now);
        }
    }
    if (!allChannels)
        return;
    // Notes held by a sustain pedal or started inside a system-exclusive message are not
    // tracked; these catch them.
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        const std::uint8_t allNotesOff[3] = {static_cast<std::uint8_t>(0xB0 | channel), 123, 0};
        const std::uint8_t allSoundOff[3] = {static_cast<std::uint8_t>(0xB0 | channel), 120, 0};
        m_out.send(allNotesOff, now);
        m_out.send(allSoundOff, now);
    }
}

} // namespace parlet
