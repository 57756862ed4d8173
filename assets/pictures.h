// Every picture the program reads, drawn by code.
#pragma once

#include <string>
#include <vector>

#include "assets/canvas.h"

namespace assets {

struct NamedPicture {
  std::string file;  // under data/
  Canvas canvas;
  bool png = false;
};

std::vector<NamedPicture> MakePictures();

}  // namespace assets
