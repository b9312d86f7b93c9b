// What Wine asks of a driver module: the audio device enumerator's entry points, which find no
// audio endpoint here so that the module serves MIDI only, and the installable driver's entry
// points through which winmm reaches the MIDI devices.
#include "Driver.h"

// winmm's own, which the system's headers leave to drivers' kits.
extern "C" BOOL WINAPI DriverCallback(DWORD_PTR callback, DWORD flags, HDRVR device, DWORD msg,
                                      DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR p2);

namespace winemidi {

void callback(const MIDIOPENDESC &desc, DWORD flags, UINT msg, DWORD_PTR p1, DWORD_PTR p2) {
    DriverCallback(desc.dwCallback, HIWORD(flags & CALLBACK_TYPEMASK),
                   reinterpret_cast<HDRVR>(desc.hMidi), msg, desc.dwInstance, p1, p2);
}

} // namespace winemidi

extern "C" {

// Above every other driver named in the registry, so that this one is taken.
__declspec(dllexport) int WINAPI GetPriority() {
    return 3;
}

__declspec(dllexport) HRESULT WINAPI
    GetEndpointIDs(int, WCHAR ***ids, GUID **guids, UINT *count, UINT *defaultIndex) {
    *ids = nullptr;
    *guids = nullptr;
    *count = 0;
    *defaultIndex = 0;
    return S_OK;
}

__declspec(dllexport) HRESULT WINAPI GetAudioEndpoint(void *, void *, void **) {
    return E_NOTIMPL;
}

__declspec(dllexport) HRESULT WINAPI GetAudioSessionManager(void *, void **) {
    return E_NOTIMPL;
}

__declspec(dllexport) LRESULT CALLBACK
    DriverProc(DWORD_PTR id, HDRVR driver, UINT msg, LPARAM p1, LPARAM p2) {
    switch (msg) {
    case DRV_LOAD:
    case DRV_FREE:
    case DRV_OPEN:
    case DRV_CLOSE:
    case DRV_ENABLE:
    case DRV_DISABLE:
        return 1;
    case DRV_QUERYCONFIGURE:
        return 0;
    case DRV_INSTALL:
    case DRV_REMOVE:
        return DRVCNF_OK;
    }
    return DefDriverProc(id, driver, msg, p1, p2);
}

__declspec(dllexport) DWORD WINAPI
    modMessage(UINT device, UINT msg, DWORD_PTR user, DWORD_PTR p1, DWORD_PTR p2) {
    return winemidi::modMessage(device, msg, user, p1, p2);
}

__declspec(dllexport) DWORD WINAPI
    midMessage(UINT device, UINT msg, DWORD_PTR user, DWORD_PTR p1, DWORD_PTR p2) {
    return winemidi::midMessage(device, msg, user, p1, p2);
}
}
