// How many threads the video decoder decodes with. Pure functions, any thread.
#pragma once

#include <string>

namespace demux {

// By default one thread per core, at most this many: beyond it a 1080p picture is no
// faster, while every frame thread holds pictures of its own and delays output by one.
constexpr int DECODER_THREADS_DEFAULT_CAP = 8;
// The most a host may ask for.
constexpr int DECODER_THREADS_MAX = 16;
// The variable a host sets to choose the count (1 to DECODER_THREADS_MAX), for example
// to lower it when it plays many files at once. Read when an instance is created.
constexpr const char* DECODER_THREADS_VARIABLE = "QUORVEL_DECODER_THREADS";

// The count for a setting (the variable's value, empty when unset) on a machine with
// cores processors (0 when unknown). A setting that is not a whole number from 1 up
// counts as unset; one above DECODER_THREADS_MAX gives the maximum.
int DecoderThreadCount(const std::string& setting, unsigned cores);

// The count the variable and this machine give now.
int DecoderThreadsFromEnvironment();

}  // namespace demux
