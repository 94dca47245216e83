// Stopping what an application plays. The music is a MIDI file on an MCI device that the application opened; it
// must be closed before the application's windows go, because the device notifies one of them.
#include <windows.h>
#include <mmsystem.h>

#include "app_sound.h"
#include "kalvex2/application.h"
#include "kalvex2/memory.h"

namespace kx {

void StopMusic(cApplication* application)
{
    if (!application)
        return;
    MusicRecord& m = application->music;
    if (m.deviceId != -1)
        mciSendCommandA(static_cast<MCIDEVICEID>(m.deviceId), MCI_CLOSE, MCI_WAIT, 0);
    void* name = m.nameCopy;
    FreeAndNull(&name);
    m.deviceId = -1;
    m.music = 0;
    m.flags = 0;
    m.notifyWindow = nullptr;
    m.playsLeft = 0;
    m.paused = 0;
    m.pausedPosition = 0;
    m.nameCopy = nullptr;
}

void StopAllSamples(cApplication* application)
{
    if (!application)
        return;
    for (SoundChannel& c : application->channels) {
        void* name = c.name;
        FreeAndNull(&name);
        c.name = nullptr;
        c.id = 0;
        c.flags = 0;
    }
}

}  // namespace kx
