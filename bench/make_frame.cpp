// make_frame: writes one large test frame for the memory measurement (bench/memory.sh).
//
//   make_frame FILE WIDTH HEIGHT [8|16]
//
// A .png of 8 (default) or 16 bits, or a float .exr: smooth ramps with a little noise, so that the
// file compresses about as a photograph does and the decoder has real work to do.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <random>
#include <string>
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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: make_frame FILE WIDTH HEIGHT [8|16]\n");
    return 2;
  }
  const std::string path = argv[1];
  const int width = std::atoi(argv[2]), height = std::atoi(argv[3]);
  const int bits = argc > 4 ? std::atoi(argv[4]) : 8;
  try {
    const bool exr = tavu::render::ImageFileTypeFor(path) == tavu::render::ImageFileType::kExr;
    tavu::render::WriteImage(path, exr           ? Frame<float>(width, height, 1.0)
                                   : bits == 16 ? Frame<std::uint16_t>(width, height, 65535.0)
                                                : Frame<std::uint8_t>(width, height, 255.0));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_frame: %s\n", e.what());
    return 1;
  }
  return 0;
}
