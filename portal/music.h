// The game page's music: a short tune the portal makes itself, as a WAV file.
#pragma once

#include <string>

namespace portal {

// A 2-second loop (four notes of an A major arpeggio, each faded in and out so that the loop
// does not click) as 16-bit mono PCM at 22050 Hz in a RIFF/WAVE file; peaks at about a third
// of full scale.
std::string GameMusicWav();

}  // namespace portal
