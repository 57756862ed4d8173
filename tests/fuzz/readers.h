// Every reader of outside bytes, driven the way the program drives it. The libFuzzer targets call
// one each; the seed replay test calls all of them on every seed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzz {

// A BMP or a PNG decoded into texels, as a texture is loaded, every texel read.
void ReadBmp(const uint8_t* data, size_t size);
void ReadPng(const uint8_t* data, size_t size);
// A sound file checked and decoded, its samples all read.
void ReadWav(const uint8_t* data, size_t size);
// A BMP held whole as a file picture and drawn at offsets that clip it on every side, as the
// palette draws tool icons and cursors.
void ReadDib(const uint8_t* data, size_t size);

// A saved construction read out of its picture, as a dropped file is.
void ReadConstruction(const uint8_t* data, size_t size);

}  // namespace fuzz
