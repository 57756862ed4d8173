// Every sound the program reads, synthesised.
#pragma once

#include <string>
#include <vector>

#include "platform/audio/wav.h"

namespace assets {

struct NamedSound {
  std::string file;  // under data/
  platform::audio::PcmSound pcm;
};

std::vector<NamedSound> MakeSounds();

}  // namespace assets
