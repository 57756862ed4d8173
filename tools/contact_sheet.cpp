// Renders every picture of a data folder, magnified, into one PNG so a person can judge them
// together: zentrova_contact_sheet DATA_FOLDER OUT.png
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/image/picture.h"
#include "platform/image/png_write.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zentrova_contact_sheet DATA_FOLDER OUT.png\n");
    return 2;
  }
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
    std::string ext = entry.path().extension().string();
    if (ext == ".bmp" || ext == ".png") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  // Small pictures at 3x, large ones at 1x, on a grey checker so transparency shows.
  const int cell = 200, columns = 8;
  std::vector<platform::image::Picture> pictures;
  int rows_height = 0, x = 0, row_height = 0;
  struct Placed {
    int x, y, scale;
  };
  std::vector<Placed> placed;
  for (const auto& file : files) {
    platform::image::Picture p;
    std::string why;
    if (!platform::image::LoadPictureFile(file.string(), &p, &why)) {
      std::fprintf(stderr, "%s: %s\n", file.string().c_str(), why.c_str());
      return 1;
    }
    int scale = p.width > 64 ? 1 : 3;
    int w = std::max(cell, p.width * scale + 8), h = p.height * scale + 8;
    if (x + w > cell * columns) {
      x = 0;
      rows_height += row_height;
      row_height = 0;
    }
    placed.push_back({x + 4, rows_height + 4, scale});
    x += w;
    row_height = std::max(row_height, h);
    pictures.push_back(std::move(p));
  }
  const int width = cell * columns, height = rows_height + row_height;
  std::vector<uint32_t> sheet(size_t(width) * height);
  for (int y = 0; y < height; ++y)
    for (int xx = 0; xx < width; ++xx)
      sheet[size_t(y) * width + xx] = ((xx / 8 + y / 8) % 2) ? 0xFFB0B0B0 : 0xFFD0D0D0;
  for (size_t i = 0; i < pictures.size(); ++i) {
    const auto& p = pictures[i];
    for (int y = 0; y < p.height * placed[i].scale; ++y)
      for (int xx = 0; xx < p.width * placed[i].scale; ++xx) {
        uint32_t src = p.argb[size_t(y / placed[i].scale) * p.width + xx / placed[i].scale];
        uint32_t a = src >> 24;
        uint32_t& d = sheet[size_t(placed[i].y + y) * width + placed[i].x + xx];
        uint32_t out = 0xFF000000u;
        for (int s = 0; s < 24; s += 8)
          out |= ((((src >> s) & 0xFF) * a + ((d >> s) & 0xFF) * (255 - a)) / 255) << s;
        d = out;
      }
  }
  std::string why;
  if (!platform::image::WritePng(argv[2], sheet.data(), width, height, width, false, &why)) {
    std::fprintf(stderr, "%s: %s\n", argv[2], why.c_str());
    return 1;
  }
  return 0;
}
