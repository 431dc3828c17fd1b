// `quorvel-play play`: opens one file as a host would and plays it until it has played
// out, the --for time is up, the user quits, or an interrupt arrives. Main thread only.
#ifndef QUORVEL_PLAY_PLAY_H
#define QUORVEL_PLAY_PLAY_H

#include <atomic>

#include "options.h"

namespace qplay {

class Console;

// Set by the SIGINT/SIGTERM handler; checked by the playback loop every tick.
extern std::atomic<bool> g_interrupted;

// 0 when playback ran to its end (or to --for, or the user quit), 1 when the file could
// not be played, 130 after an interrupt. Throws std::runtime_error on output file errors.
int RunPlay(const Options& options, Console& console);

}  // namespace qplay

#endif
