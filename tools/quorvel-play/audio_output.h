// Where the host's audio goes: something that pulls OnRenderGetaudioFrame at the pace of
// a sound card once started. Start and Stop are called on the main thread; after Stop
// returns no more pulls are made, so the instance may be closed.
#ifndef QUORVEL_PLAY_AUDIO_OUTPUT_H
#define QUORVEL_PLAY_AUDIO_OUTPUT_H

namespace qplay {

class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    virtual void Start() = 0;
    virtual void Stop() = 0;
};

}  // namespace qplay

#endif
