// `quorvel-play probe`: GetFileInfo on each file, printed as text or as one JSON object
// per line. Main thread only.
#ifndef QUORVEL_PLAY_PROBE_H
#define QUORVEL_PLAY_PROBE_H

#include "options.h"

namespace qplay {

class Console;

// 0 when every file is playable, 1 otherwise.
int RunProbe(const Options& options, Console& console);

}  // namespace qplay

#endif
