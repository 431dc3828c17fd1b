// What an end-to-end run needs: media paths, the bounded wait and the audio renderer.
#pragma once

#include "support/audio_puller.h"
#include "support/media_path.h"
#include "support/wait_until.h"
