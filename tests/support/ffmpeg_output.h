// What the ffmpeg program writes for a fixture: the reference the decode comparisons are
// made against. On Linux the program runs. A Windows test process cannot start it (there
// is none), so there the output is read from a folder that a Linux run of the suite
// filled beforehand: with QUORVEL_FFMPEG_OUTPUT_DIR set, the Linux helper keeps every
// output in that folder under a name made of the fixture's name and the arguments, and
// the Windows helper reads it back from the folder the same variable names. A new test
// that uses this helper runs on both without anything else to list.
#pragma once

#include <string>

namespace test {

// Standard output of `ffmpeg -nostdin -v error INPUT_OPTIONS -i FIXTURE OUTPUT_OPTIONS`;
// OUTPUT_OPTIONS end in "-". Empty (and a test failure on Windows) when there is none.
std::string FfmpegOutput(const std::string& media, const std::string& outputOptions,
                         const std::string& inputOptions = "");

// The file name an output is kept under: the fixture's name, then a hash of the arguments.
std::string FfmpegOutputName(const std::string& media, const std::string& outputOptions,
                             const std::string& inputOptions);

}  // namespace test
