// make_samples: draws the repository's sample frames from formulas, so that every input of the
// demo and of the renderer's tests is ours and can be regenerated bit for bit.
//
//   make_samples OUTDIR
//
// writes into OUTDIR (created if missing):
//   gradient_256x64.png               8-bit: bands of gray, red, green, blue ramps; column x = x
//   gradient_512x64_16bit.png         16-bit: the same bands at 512 steps
//   gradient_reference_1920x4.png     16-bit colour ramp, left to right (Color Gray, Left-Right)
//   gradient_reference_4x512.png      8-bit colour ramp, top to bottom (Color Gray, Top-Bottom)
//   colour_chart.png                  8-bit 6 x 4 patches: primaries, secondaries, neutrals, tones
//   colour_chart_16bit.png            16-bit, the same chart as v·257 (converts like the 8-bit)
//   test_pattern.png                  8-bit RGBA photo-like scene with soft transparency
//   test_pattern_16bit.png            16-bit RGBA, the same scene
//   test_pattern_hdr.exr              float RGBA, the same scene unclipped: highlights above 1 and
//                                     a ramp strip from -0.5 to 2.0

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "tools/image_io.h"

namespace {

using tavu::render::Image;
using Rgba = std::array<double, 4>;

constexpr double kPi = 3.14159265358979323846;

// round(clamp01(v)·max), halves up; the samples only need to be repeatable, not exact to the bit.
std::uint32_t Quantize(double v, std::uint32_t max) {
  if (!(v > 0.0)) return 0;
  if (v >= 1.0) return max;
  return static_cast<std::uint32_t>(std::floor(v * max + 0.5));
}

// One drawing, three encodings: a function of the pixel position gives unclipped RGBA, stored
// as floats or quantised to the full range of the channel type.
template <typename T, typename Draw>
Image Render(int width, int height, Draw draw) {
  Image image;
  image.width = width;
  image.height = height;
  std::vector<T> samples;
  samples.reserve(std::size_t(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (double value : draw(x, y)) {
        if constexpr (std::is_same_v<T, float>) {
          // Steps of 1/4096 keep the low mantissa bits zero, which lets the file compress to a
          // size fit for the repository; far finer than any sample needs.
          samples.push_back(static_cast<float>(std::round(value * 4096.0) / 4096.0));
        } else {
          samples.push_back(static_cast<T>(Quantize(value, std::numeric_limits<T>::max())));
        }
      }
    }
  }
  image.samples = std::move(samples);
  return image;
}

// Four bands of equal height: gray, red, green, blue, each rising from 0 at the left edge to 1 at
// the right edge, so column x of a W-wide image holds x/(W-1).
Rgba GradientBands(int x, int y, int width, int height) {
  const double t = double(x) / (width - 1);
  switch (y * 4 / height) {
    case 0:
      return {t, t, t, 1.0};
    case 1:
      return {t, 0.0, 0.0, 1.0};
    case 2:
      return {0.0, t, 0.0, 1.0};
    default:
      return {0.0, 0.0, t, 1.0};
  }
}

// A colour ramp with a distinct hue at every gray level, so a Color Gray lookup shows where each
// gray lands: black, deep blue, magenta, orange, white.
Rgba ColourRamp(double t) {
  static const std::array<Rgba, 5> kStops = {{
      {0.0, 0.0, 0.0, 1.0},
      {0.10, 0.12, 0.75, 1.0},
      {0.80, 0.10, 0.60, 1.0},
      {1.0, 0.60, 0.05, 1.0},
      {1.0, 1.0, 1.0, 1.0},
  }};
  const double position = t * (kStops.size() - 1);
  const std::size_t i = std::min<std::size_t>(std::size_t(position), kStops.size() - 2);
  const double f = position - double(i);
  Rgba out{};
  for (int c = 0; c < 4; ++c) out[c] = kStops[i][c] + (kStops[i + 1][c] - kStops[i][c]) * f;
  return out;
}

// 6 x 4 patches, 8-bit values.
constexpr int kChartColumns = 6;
constexpr int kChartRows = 4;
constexpr int kChartPatch = 64;
constexpr std::uint8_t kChart[kChartRows][kChartColumns][3] = {
    {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {0, 255, 255}, {255, 0, 255}, {255, 255, 0}},
    {{255, 255, 255}, {204, 204, 204}, {153, 153, 153}, {128, 128, 128}, {51, 51, 51}, {0, 0, 0}},
    {{255, 128, 0}, {96, 150, 220}, {80, 120, 50}, {225, 170, 140}, {110, 60, 160}, {0, 128, 128}},
    {{1, 1, 1}, {254, 254, 254}, {255, 0, 128}, {128, 255, 0}, {0, 128, 255}, {64, 64, 64}},
};

template <typename T>
Image ColourChart(std::uint32_t scale) {
  Image image;
  image.width = kChartColumns * kChartPatch;
  image.height = kChartRows * kChartPatch;
  std::vector<T> samples;
  samples.reserve(std::size_t(image.width) * image.height * 4);
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const std::uint8_t* rgb = kChart[y / kChartPatch][x / kChartPatch];
      for (int c = 0; c < 3; ++c) samples.push_back(T(rgb[c] * scale));
      samples.push_back(T(255 * scale));
    }
  }
  image.samples = std::move(samples);
  return image;
}

double SmoothStep(double edge0, double edge1, double x) {
  const double t = std::fmin(1.0, std::fmax(0.0, (x - edge0) / (edge1 - edge0)));
  return t * t * (3.0 - 2.0 * t);
}

double Gaussian(double dx, double dy, double radius) {
  return std::exp(-(dx * dx + dy * dy) / (radius * radius));
}

// A landscape at dusk: sky, a sun far brighter than white, rolling hills, three translucent
// balloons, a soft vignette in alpha with fully transparent corners and a softly cut hole, and a
// strip along the bottom ramping from -0.5 to 2.0 for the out-of-range cases.
Rgba TestPattern(int x, int y, int width, int height) {
  const double u = (x + 0.5) / width;
  const double v = (y + 0.5) / height;
  if (y >= height - 12) {
    const double ramp = -0.5 + 2.5 * x / (width - 1);
    return {ramp, ramp, ramp, 1.0};
  }
  Rgba sky{0.22 + 0.68 * v, 0.40 + 0.38 * v, 0.85 - 0.30 * v, 1.0};
  const double sunCore = Gaussian(u - 0.72, (v - 0.28) * height / width, 0.035);
  const double sunGlow = Gaussian(u - 0.72, (v - 0.28) * height / width, 0.16);
  Rgba scene{sky[0] + 3.2 * sunCore + 0.55 * sunGlow, sky[1] + 2.6 * sunCore + 0.35 * sunGlow,
             sky[2] + 1.4 * sunCore + 0.05 * sunGlow, 1.0};

  const double horizon =
      0.64 + 0.06 * std::sin(2 * kPi * 1.3 * u + 0.5) + 0.025 * std::sin(2 * kPi * 3.7 * u + 1.9);
  const double ground = SmoothStep(horizon - 0.01, horizon + 0.01, v);
  const double depth = (v - horizon) / (1.0 - horizon);
  const Rgba hill{0.18 + 0.20 * depth, 0.36 - 0.10 * depth, 0.12, 1.0};
  for (int c = 0; c < 3; ++c) scene[c] += (hill[c] - scene[c]) * ground;

  struct Balloon {
    double cx, cy, radius;
    Rgba colour;
  };
  static const Balloon kBalloons[] = {
      {0.22, 0.38, 0.09, {0.95, 0.15, 0.12, 0.85}},
      {0.36, 0.50, 0.07, {0.10, 0.70, 0.65, 0.75}},
      {0.50, 0.30, 0.05, {0.98, 0.85, 0.10, 0.90}},
  };
  for (const Balloon& b : kBalloons) {
    const double d = std::hypot(u - b.cx, (v - b.cy) * height / width);
    const double cover = b.colour[3] * (1.0 - SmoothStep(b.radius * 0.8, b.radius, d));
    const double shade =
        1.0 - 0.5 * SmoothStep(0.0, b.radius,
                               std::hypot(u - b.cx + b.radius * 0.35,
                                          (v - b.cy) * height / width + b.radius * 0.35));
    for (int c = 0; c < 3; ++c) scene[c] += (b.colour[c] * (0.6 + 0.4 * shade) - scene[c]) * cover;
  }

  const double edge = std::hypot((u - 0.5) / 0.5, (v - 0.5) / 0.5);
  double alpha = 1.0 - SmoothStep(0.85, 1.30, edge);
  alpha *= 0.15 + 0.85 * SmoothStep(0.03, 0.09, std::hypot(u - 0.86, (v - 0.74) * height / width));
  scene[3] = alpha;
  return scene;
}

struct Sample {
  const char* name;
  Image image;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_samples OUTDIR\n");
    return 2;
  }
  const std::filesystem::path directory = argv[1];
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (error) {
    std::fprintf(stderr, "make_samples: %s: %s\n", argv[1], error.message().c_str());
    return 1;
  }

  auto gradient = [](int w, int h) {
    return [w, h](int x, int y) { return GradientBands(x, y, w, h); };
  };
  auto pattern = [](int x, int y) { return TestPattern(x, y, 384, 256); };
  const Sample samples[] = {
      {"gradient_256x64.png", Render<std::uint8_t>(256, 64, gradient(256, 64))},
      {"gradient_512x64_16bit.png", Render<std::uint16_t>(512, 64, gradient(512, 64))},
      {"gradient_reference_1920x4.png",
       Render<std::uint16_t>(1920, 4, [](int x, int) { return ColourRamp(x / 1919.0); })},
      {"gradient_reference_4x512.png",
       Render<std::uint8_t>(4, 512, [](int, int y) { return ColourRamp(y / 511.0); })},
      {"colour_chart.png", ColourChart<std::uint8_t>(1)},
      {"colour_chart_16bit.png", ColourChart<std::uint16_t>(257)},
      {"test_pattern.png", Render<std::uint8_t>(384, 256, pattern)},
      {"test_pattern_16bit.png", Render<std::uint16_t>(384, 256, pattern)},
      {"test_pattern_hdr.exr", Render<float>(384, 256, pattern)},
  };
  for (const Sample& sample : samples) {
    const std::string path = (directory / sample.name).string();
    try {
      tavu::render::WriteImage(path, sample.image);
    } catch (const tavu::render::ImageError& e) {
      std::fprintf(stderr, "make_samples: %s\n", e.what());
      return 1;
    }
    std::printf("%s %dx%d\n", path.c_str(), sample.image.width, sample.image.height);
  }
  return 0;
}
