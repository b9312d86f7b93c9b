// The outputs: what is sent is logged and, with the loop on, comes back on the input of the same
// number. Headers are checked and flagged as a device's driver does, since winmm leaves that to
// the driver.
#include "Driver.h"

namespace winemidi {
namespace {

struct Output {
    UINT device;
    MIDIOPENDESC desc;
    DWORD flags;
};

void send(UINT device, const std::uint8_t *bytes, std::size_t size) {
    logSent(device, bytes, size);
    if (loopOn() && device < deviceNames(true).size())
        deliver(device, Bytes(bytes, bytes + size), now());
}

// Taken whole at once, so done before the call returns.
DWORD longData(Output &out, DWORD_PTR p1) {
    if (const DWORD refused = queueHeader(p1))
        return refused;
    auto *header = reinterpret_cast<MIDIHDR *>(p1);
    send(out.device, reinterpret_cast<const std::uint8_t *>(header->lpData),
         header->dwBufferLength);
    header->dwFlags = (header->dwFlags | MHDR_DONE) & ~MHDR_INQUEUE;
    callback(out.desc, out.flags, MOM_DONE, p1, 0);
    return MMSYSERR_NOERROR;
}

} // namespace

DWORD modMessage(UINT device, UINT msg, DWORD_PTR user, DWORD_PTR p1, DWORD_PTR p2) {
    if (const auto answer = sharedAnswer<MIDIOUTCAPSW>(device, msg, p1, p2))
        return *answer;
    auto *out = reinterpret_cast<Output *>(user);
    if (msg == MODM_OPEN) {
        out = new Output{device, *reinterpret_cast<MIDIOPENDESC *>(p1), static_cast<DWORD>(p2)};
        *reinterpret_cast<DWORD_PTR *>(user) = reinterpret_cast<DWORD_PTR>(out);
        callback(out->desc, out->flags, MOM_OPEN, 0, 0);
        return MMSYSERR_NOERROR;
    }
    if (out == nullptr)
        return MMSYSERR_NOTSUPPORTED;
    switch (msg) {
    case MODM_CLOSE:
        callback(out->desc, out->flags, MOM_CLOSE, 0, 0);
        delete out;
        return MMSYSERR_NOERROR;
    case MODM_DATA: {
        const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(p1),
                                       static_cast<std::uint8_t>(p1 >> 8),
                                       static_cast<std::uint8_t>(p1 >> 16)};
        if (bytes[0] < 0x80)
            return MMSYSERR_INVALPARAM; // running status, which this driver does not keep
        send(out->device, bytes, messageLength(bytes, 3));
        return MMSYSERR_NOERROR;
    }
    case MODM_LONGDATA:
        return longData(*out, p1);
    case MODM_PREPARE:
    case MODM_UNPREPARE:
        return prepare(p1, msg == MODM_PREPARE);
    case MODM_RESET:
        return MMSYSERR_NOERROR; // nothing is ever left queued
    }
    return MMSYSERR_NOTSUPPORTED;
}

} // namespace winemidi
