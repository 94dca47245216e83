// The application's music and sample channels, as the teardown of an application stops them.
#pragma once

class cApplication;

namespace kx {

// Closes the music's MCI device when one is open and clears the music record.
void StopMusic(cApplication* application);
// Empties every channel: its name copy is freed and it no longer names a sound.
void StopAllSamples(cApplication* application);

}  // namespace kx
