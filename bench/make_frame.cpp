// make_frame: writes one large test frame for the measurements of tavu-render (bench/memory.sh,
// bench/exr_check.sh).
//
//   make_frame FILE WIDTH HEIGHT [8|16|piz]
//
// A .png of 8 (default) or 16 bits, or a float .exr, ZIP-compressed as tavu-render writes it or,
// with piz, PIZ-compressed: smooth ramps with a little noise, so that the file compresses about as
// a photograph does and the decoder has real work to do.

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <random>
#include <string>
#include <variant>
#include <vector>

#include "tools/image_io.h"

namespace {

template <typename T>
tavu::render::Image Frame(int width, int height, double max) {
  std::minstd_rand noise(1);
  std::vector<T> samples(static_cast<std::size_t>(width) * height * 4);
  std::size_t i = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double u = double(x) / width, v = double(y) / height;
      const double rgba[4] = {u, v, 1.0 - u * v, 0.5 + 0.5 * u};
      for (double c : rgba) {
        const double jitter = (double(noise() % 1024) / 1024.0 - 0.5) * 0.01;
        double value = (c + jitter) * max;
        if (max > 1.0) value = value < 0.0 ? 0.0 : value > max ? max : value + 0.5;
        samples[i++] = static_cast<T>(value);
      }
    }
  }
  tavu::render::Image image;
  image.width = width;
  image.height = height;
  image.samples = std::move(samples);
  return image;
}

// tavu-render writes ZIP only; a PIZ file goes through OpenEXR itself.
void WritePizExr(const std::string& path, tavu::render::Image image) {
  Imf::Header header(image.width, image.height);
  header.compression() = Imf::PIZ_COMPRESSION;
  const char* names[4] = {"R", "G", "B", "A"};
  for (const char* name : names) header.channels().insert(name, Imf::Channel(Imf::FLOAT));
  float* samples = std::get<std::vector<float>>(image.samples).data();
  const std::size_t xStride = 4 * sizeof(float);
  Imf::FrameBuffer frame;
  for (int c = 0; c < 4; ++c) {
    frame.insert(names[c], Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(samples + c), xStride,
                                      xStride * std::size_t(image.width)));
  }
  Imf::OutputFile file(path.c_str(), header);
  file.setFrameBuffer(frame);
  file.writePixels(image.height);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: make_frame FILE WIDTH HEIGHT [8|16|piz]\n");
    return 2;
  }
  const std::string path = argv[1];
  const int width = std::atoi(argv[2]), height = std::atoi(argv[3]);
  const std::string kind = argc > 4 ? argv[4] : "8";
  const int bits = std::atoi(kind.c_str());
  try {
    const bool exr = tavu::render::ImageFileTypeFor(path) == tavu::render::ImageFileType::kExr;
    if (exr && kind == "piz") {
      WritePizExr(path, Frame<float>(width, height, 1.0));
      return 0;
    }
    tavu::render::WriteImage(path, exr           ? Frame<float>(width, height, 1.0)
                                   : bits == 16 ? Frame<std::uint16_t>(width, height, 65535.0)
                                                : Frame<std::uint8_t>(width, height, 255.0));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_frame: %s\n", e.what());
    return 1;
  }
  return 0;
}
