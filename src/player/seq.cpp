#include "seq.h"

#include <algorithm>
#include <bit>
#include <type_traits>

namespace parlet::seq {

// Chunks are allocated uncleared; a non-trivial Entry would clear them on the driver's thread.
static_assert(std::is_trivially_default_constructible_v<Entry>);

CaptureBuffer::CaptureBuffer() {
    m_chunks[0] = std::make_unique_for_overwrite<Entry[]>(static_cast<std::size_t>(chunkSize(0)));
}

CaptureBuffer::~CaptureBuffer() = default;

std::int64_t CaptureBuffer::chunkStart(std::size_t chunk) {
    return chunk == 0 ? 0 : kFirstChunk << (chunk - 1);
}

std::int64_t CaptureBuffer::chunkSize(std::size_t chunk) {
    return chunk == 0 ? kFirstChunk : kFirstChunk << (chunk - 1);
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
    // The chunks stay allocated for the next capture: freeing them here could pull memory from
    // under a reader, and keeping them spares the next long capture its allocations.
    std::lock_guard lock(m_appendMutex);
    m_chunks[0][0] = Entry{kTempoEntry, 0};
    m_count.store(1, std::memory_order_release);
}

void CaptureBuffer::capClear() {
    std::lock_guard lock(m_appendMutex);
    m_count.store(0, std::memory_order_release);
}

void CaptureBuffer::capAppend(std::int32_t event, std::int32_t time) {
    std::lock_guard lock(m_appendMutex);
    std::int64_t count = m_count.load(std::memory_order_relaxed);
    if (count == 0)
        return;
    auto place = locate(count);
    auto &chunk = m_chunks[place.chunk];
    if (!chunk) {
        // Left uninitialised on purpose: slots at or above capCount read as 0 without being
        // cleared, and clearing megabytes here would stall the driver's thread.
        chunk = std::make_unique_for_overwrite<Entry[]>(
            static_cast<std::size_t>(chunkSize(place.chunk)));
    }
    chunk[place.offset] = Entry{event, time};
    m_count.store(count + 1, std::memory_order_release);
}

void CaptureBuffer::capToDeltas() {
    // Entries below the count are the window thread's to change; appends only add above it.
    // Backwards, so that each entry's predecessor still holds its absolute time when it is read.
    std::int64_t count = capCount();
    for (std::int64_t i = count - 1; i >= 2; --i)
        slot(i).time -= slot(i - 1).time;
    if (count > 0)
        slot(0).time = 0;
    if (count > 1)
        slot(1).time = 0;
}

std::int64_t CaptureBuffer::capCount() const {
    return m_count.load(std::memory_order_acquire);
}

std::int32_t CaptureBuffer::capEvent(std::int64_t index) const {
    return index >= 0 && index < capCount() ? slot(index).event : 0;
}

std::int32_t CaptureBuffer::capTime(std::int64_t index) const {
    return index >= 0 && index < capCount() ? slot(index).time : 0;
}

CaptureBuffer::Newest CaptureBuffer::newest() const {
    std::int64_t count = capCount();
    if (count == 0)
        return {};
    return {count, std::int64_t{slot(count - 1).time} - slot(0).time};
}

std::vector<Entry> CaptureBuffer::entries() const {
    std::int64_t count = capCount();
    std::vector<Entry> out;
    out.reserve(static_cast<std::size_t>(count));
    for (std::int64_t begin = 0; begin < count;) {
        auto place = locate(begin);
        std::int64_t n = std::min(chunkSize(place.chunk) - place.offset, count - begin);
        const Entry *from = &m_chunks[place.chunk][place.offset];
        out.insert(out.end(), from, from + n);
        begin += n;
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
