#pragma once

#include <memory>

#include "platform/audio/audio_device.h"

namespace platform {

// SDL2_mixer with 64 channels; on a machine without a sound device, silence, with one warning on
// standard error.
std::unique_ptr<audio::AudioDevice> OpenSdlAudio();

}  // namespace platform
