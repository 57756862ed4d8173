#pragma once

#include <memory>

#include "platform/audio/audio_device.h"

namespace platform {

// SDL2_mixer with its channels split between effects and the interface (audio_device.h); on a
// machine without a sound device, silence, with one warning on standard error.
std::unique_ptr<audio::AudioDevice> OpenSdlAudio();

}  // namespace platform
