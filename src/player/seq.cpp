#include "seq.h"

#include <algorithm>
#include <bit>

namespace parlet::seq {

namespace {
// Largest piece a whole-buffer operation handles under one hold of the lock.
constexpr std::int64_t kPiece = 16384;
} // namespace

CaptureBuffer::CaptureBuffer() {
    m_chunks[0] = std::make_unique<Entry[]>(static_cast<std::size_t>(chunkSize(0)));
    capReset();
}

CaptureBuffer::~CaptureBuffer() = default;

std::int64_t CaptureBuffer::chunkStart(std::size_t chunk) {
    return chunk == 0 ? 0 : kResetUpper << (chunk - 1);
}

std::int64_t CaptureBuffer::chunkSize(std::size_t chunk) {
    return chunk == 0 ? kResetUpper : kResetUpper << (chunk - 1);
}

CaptureBuffer::Place CaptureBuffer::locate(std::int64_t index) {
    auto chunk = static_cast<std::size_t>(std::bit_width(static_cast<std::uint64_t>(index) >> 10));
    return {chunk, index - chunkStart(chunk)};
}

Entry &CaptureBuffer::slot(std::int64_t index) const {
    auto place = locate(index);
    return m_chunks[place.chunk][place.offset];
}

void CaptureBuffer::capReset() {
    std::array<std::unique_ptr<Entry[]>, kChunks> dropped;
    {
        std::lock_guard lock(m_mutex);
        // Chunk 0 stays; the others go, and are freed once the lock is released so that an
        // append never waits for the memory to be returned.
        std::move(m_chunks.begin() + 1, m_chunks.end(), dropped.begin() + 1);
        m_upper = kResetUpper;
        m_chunks[0][0] = Entry{kTempoEntry, 0};
        m_count = 1;
    }
}

void CaptureBuffer::capAppend(std::int32_t event, std::int32_t time) {
    std::lock_guard lock(m_mutex);
    if (m_count >= m_upper)
        m_upper *= 2;
    auto place = locate(m_count);
    auto &chunk = m_chunks[place.chunk];
    if (!chunk) {
        // Left uninitialised on purpose: slots at or above capCount read as 0 without being
        // cleared, and clearing megabytes here would stall the driver's thread.
        chunk.reset(new Entry[static_cast<std::size_t>(chunkSize(place.chunk))]);
    }
    chunk[place.offset] = Entry{event, time};
    ++m_count;
}

void CaptureBuffer::capToDeltas() {
    std::int64_t count = capCount();
    // Backwards, so that each entry's predecessor still holds its absolute time when it is read.
    for (std::int64_t end = count; end > 2;) {
        std::lock_guard lock(m_mutex);
        end = std::min(end, m_count); // a reset meanwhile leaves less to convert
        std::int64_t begin = std::max<std::int64_t>(2, end - kPiece);
        for (std::int64_t i = end - 1; i >= begin; --i)
            slot(i).time -= slot(i - 1).time;
        end = begin;
    }
    std::lock_guard lock(m_mutex);
    m_chunks[0][0].time = 0;
    if (m_count > 1)
        m_chunks[0][1].time = 0;
}

std::int64_t CaptureBuffer::capCount() const {
    std::lock_guard lock(m_mutex);
    return m_count;
}

std::int64_t CaptureBuffer::upperIndex() const {
    std::lock_guard lock(m_mutex);
    return m_upper;
}

std::int32_t CaptureBuffer::capEvent(std::int64_t index) const {
    std::lock_guard lock(m_mutex);
    return index >= 0 && index < m_count ? slot(index).event : 0;
}

std::int32_t CaptureBuffer::capTime(std::int64_t index) const {
    std::lock_guard lock(m_mutex);
    return index >= 0 && index < m_count ? slot(index).time : 0;
}

CaptureBuffer::Newest CaptureBuffer::newest() const {
    std::lock_guard lock(m_mutex);
    if (m_count == 0)
        return {};
    return {m_count, std::int64_t{slot(m_count - 1).time} - slot(0).time};
}

std::vector<Entry> CaptureBuffer::entries() const {
    std::vector<Entry> out;
    std::int64_t count = capCount();
    out.reserve(static_cast<std::size_t>(count));
    for (std::int64_t begin = 0; begin < count;) {
        std::lock_guard lock(m_mutex);
        // A reset between pieces shortens the buffer; the copy then ends with what is left.
        count = std::min(count, m_count);
        while (begin < count) {
            auto place = locate(begin);
            std::int64_t n = std::min(
                {chunkSize(place.chunk) - place.offset, count - begin, kPiece - (begin % kPiece)});
            const Entry *from = &m_chunks[place.chunk][place.offset];
            out.insert(out.end(), from, from + n);
            begin += n;
            if (begin % kPiece == 0)
                break;
        }
    }
    return out;
}

CaptureBuffer &buffer() {
    static CaptureBuffer theBuffer;
    return theBuffer;
}

void capMidiInProc(HMIDIIN, std::uint32_t msg, std::uintptr_t instance, std::uintptr_t param1,
                   std::uintptr_t param2) {
    if (msg != MIM_DATA || instance == 0)
        return;
    if ((param1 & 0xF8) == 0xF8)
        return;
    reinterpret_cast<CaptureBuffer *>(instance)->capAppend(static_cast<std::int32_t>(param1),
                                                           static_cast<std::int32_t>(param2));
}

} // namespace parlet::seq
