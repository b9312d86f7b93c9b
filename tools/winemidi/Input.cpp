// The inputs: one program at a time each, messages passed on only between start and stop, with
// their time in milliseconds since the start; system exclusive fills the buffers the program
// added, and is dropped when it added none.
#include "Driver.h"

#include <deque>
#include <map>
#include <mutex>

namespace winemidi {
namespace {

struct Input {
    MIDIOPENDESC desc;
    DWORD flags;
    bool started = false;
    std::int64_t startedAt = 0;
    std::deque<MIDIHDR *> buffers;
};

// Held while a callback runs, so that none comes after the close that answers it.
std::recursive_mutex mutex;
std::map<UINT, Input *> inputs; // the open ones by device

DWORD milliseconds(const Input &in, std::int64_t at) {
    return static_cast<DWORD>((at - in.startedAt) * 1000 / ticksPerSecond());
}

void returnBuffer(Input &in, DWORD recorded, DWORD time) {
    MIDIHDR *header = in.buffers.front();
    in.buffers.pop_front();
    header->dwBytesRecorded = recorded;
    header->dwFlags = (header->dwFlags | MHDR_DONE) & ~MHDR_INQUEUE;
    callback(in.desc, in.flags, MIM_LONGDATA, reinterpret_cast<DWORD_PTR>(header), time);
}

DWORD control(Input &in, UINT msg, DWORD_PTR p1) {
    switch (msg) {
    case MIDM_START:
        if (!in.started)
            in.startedAt = now();
        in.started = true;
        return MMSYSERR_NOERROR;
    case MIDM_STOP:
        in.started = false;
        return MMSYSERR_NOERROR;
    case MIDM_RESET:
        in.started = false;
        while (!in.buffers.empty())
            returnBuffer(in, 0, milliseconds(in, now()));
        return MMSYSERR_NOERROR;
    case MIDM_PREPARE:
    case MIDM_UNPREPARE:
        return prepare(p1, msg == MIDM_PREPARE);
    case MIDM_ADDBUFFER:
        if (const DWORD refused = queueHeader(p1))
            return refused;
        in.buffers.push_back(reinterpret_cast<MIDIHDR *>(p1));
        return MMSYSERR_NOERROR;
    }
    return MMSYSERR_NOTSUPPORTED;
}

} // namespace

void arrive(UINT device, const Bytes &bytes, std::int64_t at) {

    std::lock_guard lock(mutex);
    const auto found = inputs.find(device);
    if (found == inputs.end() || !found->second->started || at < found->second->startedAt)
        return;
    Input &in = *found->second;
    const DWORD time = milliseconds(in, at);
    for (std::size_t from = 0; from < bytes.size();) {
        const std::size_t length = messageLength(bytes.data() + from, bytes.size() - from);
        if (bytes[from] == 0xF0 && !in.buffers.empty()) {
            MIDIHDR &header = *in.buffers.front();
            const DWORD taken = std::min<DWORD>(length, header.dwBufferLength);
            memcpy(header.lpData, bytes.data() + from, taken);
            returnBuffer(in, taken, time);
        } else if (bytes[from] >= 0x80 && bytes[from] != 0xF0) {
            DWORD word = 0;
            for (std::size_t i = 0; i < length; ++i)
                word |= DWORD{bytes[from + i]} << (8 * i);
            callback(in.desc, in.flags, MIM_DATA, word, time);
        }
        from += length;
    }
}

DWORD midMessage(UINT device, UINT msg, DWORD_PTR user, DWORD_PTR p1, DWORD_PTR p2) {
    if (const auto answer = sharedAnswer<MIDIINCAPSW>(device, msg, p1, p2))
        return *answer;
    std::lock_guard lock(mutex);
    if (msg == MIDM_OPEN) {
        if (inputs.count(device))
            return MMSYSERR_ALLOCATED;
        auto *in =
            new Input{*reinterpret_cast<MIDIOPENDESC *>(p1), static_cast<DWORD>(p2), false, 0, {}};
        inputs[device] = in;
        *reinterpret_cast<DWORD_PTR *>(user) = reinterpret_cast<DWORD_PTR>(in);
        startInjection();
        callback(in->desc, in->flags, MIM_OPEN, 0, 0);
        return MMSYSERR_NOERROR;
    }
    auto *in = reinterpret_cast<Input *>(user);
    if (in == nullptr)
        return MMSYSERR_NOTSUPPORTED;
    if (msg != MIDM_CLOSE)
        return control(*in, msg, p1);
    if (!in->buffers.empty())
        return MIDIERR_STILLPLAYING;
    inputs.erase(device);
    callback(in->desc, in->flags, MIM_CLOSE, 0, 0);
    delete in;
    return MMSYSERR_NOERROR;
}

} // namespace winemidi
