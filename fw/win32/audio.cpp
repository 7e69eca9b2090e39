// Muting every page: the browser control plays in this process, through the process's own
// audio session on the default output device, so the session's mute silences every page at
// once, those opened later included, and gives each its sound back as it was.
#include "fw/win32/native.h"

#include <audiopolicy.h>
#include <mmdeviceapi.h>

#include "fw/com_ptr.h"
#include "fw/system.h"

namespace fw {

bool MuteAllPages(bool muted) {
    // COM may not be started on the calling thread yet (the UI thread starts it with OLE).
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    bool done = false;
    {
        ComPtr<IMMDeviceEnumerator> devices;
        ComPtr<IMMDevice> output;
        ComPtr<IAudioSessionManager2> sessions;
        ComPtr<ISimpleAudioVolume> session;
        // The process's default session (no GUID) on the device the control plays to, looked
        // up each time: the user may have chosen another device since.
        done = SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                          __uuidof(IMMDeviceEnumerator), reinterpret_cast<void**>(devices.Put()))) &&
               SUCCEEDED(devices->GetDefaultAudioEndpoint(eRender, eMultimedia, output.Put())) &&
               SUCCEEDED(output->Activate(__uuidof(IAudioSessionManager2), CLSCTX_ALL, nullptr,
                                          reinterpret_cast<void**>(sessions.Put()))) &&
               SUCCEEDED(sessions->GetSimpleAudioVolume(nullptr, FALSE, session.Put())) && session &&
               SUCCEEDED(session->SetMute(muted ? TRUE : FALSE, nullptr));
    }
    if (SUCCEEDED(com)) CoUninitialize();  // the interfaces are released first
    return done;
}

}  // namespace fw
