// The full libpng writer, for what the simple one cannot do: write to memory with a chunk of our
// own, and choose the filter and the compression level.
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <vector>

#include "platform/image/png_write.h"

namespace platform::image {

namespace {

struct Sink {
  std::vector<uint8_t>* out;
  std::string message;
};

void Append(png_structp png, png_bytep data, size_t length) {
  auto* sink = static_cast<Sink*>(png_get_io_ptr(png));
  sink->out->insert(sink->out->end(), data, data + length);
}

void Flush(png_structp) {}

void OnError(png_structp png, png_const_charp message) {
  static_cast<Sink*>(png_get_error_ptr(png))->message = message;
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// Everything libpng may jump out of, with nothing in scope that needs a destructor.
bool Write(png_structp png, png_infop info, const std::vector<png_bytep>& rows, int width,
           int height, const PngChunk* extra) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, png_get_io_ptr(png), Append, Flush);
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  // The "up" filter alone: drawn pictures are mostly runs and rows like the one above, and
  // trying every filter per row would cost several times as much for a few per cent.
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
  // Level 3: a save must not hold up the frame; the picture is a few tens of kilobytes either way.
  png_set_compression_level(png, 3);
  png_unknown_chunk chunk;
  if (extra) {
    std::memset(&chunk, 0, sizeof chunk);
    std::memcpy(chunk.name, extra->type, 4);
    chunk.data = const_cast<png_bytep>(extra->data.data());
    chunk.size = extra->data.size();
    chunk.location = PNG_AFTER_IDAT;
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS,
                                reinterpret_cast<png_const_bytep>(extra->type), 1);
    png_set_unknown_chunks(png, info, &chunk, 1);
  }
  png_write_info(png, info);
  png_write_image(png, const_cast<png_bytepp>(rows.data()));
  png_write_end(png, info);
  return true;
}

}  // namespace

bool EncodePng(const uint32_t* pixels, int width, int height, int pitch_pixels,
               const PngChunk* extra, std::vector<uint8_t>* out, std::string* why) {
  out->clear();
  std::vector<uint8_t> rgb(size_t(width) * height * 3);
  std::vector<png_bytep> rows(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    uint8_t* row = rgb.data() + size_t(y) * width * 3;
    rows[size_t(y)] = row;
    const uint32_t* source = pixels + size_t(y) * pitch_pixels;
    for (int x = 0; x < width; ++x) {
      row[3 * x] = uint8_t(source[x] >> 16);
      row[3 * x + 1] = uint8_t(source[x] >> 8);
      row[3 * x + 2] = uint8_t(source[x]);
    }
  }
  Sink sink{out, ""};
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, OnError, OnWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  bool ok = png && info;
  if (ok) {
    png_set_write_fn(png, &sink, Append, Flush);
    ok = Write(png, info, rows, width, height, extra);
  }
  png_destroy_write_struct(&png, &info);
  if (!ok && why) *why = sink.message.empty() ? "cannot make the PNG" : sink.message;
  return ok;
}

}  // namespace platform::image
