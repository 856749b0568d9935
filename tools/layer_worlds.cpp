#include "tools/layer_worlds.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace tavu::render {
namespace {

using hostsim::Layout;
using hostsim::World;

// Where each channel of an RGBA sample (red, green, blue, alpha) sits within a world's pixel.
struct ChannelSlots {
  int slot[4];
};
constexpr ChannelSlots kArgbSlots{{1, 2, 3, 0}};
constexpr ChannelSlots kBgraSlots{{2, 1, 0, 3}};

const ChannelSlots& SlotsOf(Layout layout) {
  return hostsim::IsBgra(layout) ? kBgraSlots : kArgbSlots;
}

// Byte copies, not value assignments: a float's bits (NaN payloads included) pass unchanged.
template <typename T>
void CopyIn(const std::vector<T>& rgba, World& world) {
  const ChannelSlots& slots = SlotsOf(world.layout());
  const T* sample = rgba.data();
  for (A_long y = 0; y < world.height(); ++y) {
    for (A_long x = 0; x < world.width(); ++x, sample += 4) {
      unsigned char* pixel = world.PixelAddress(x, y);
      for (int c = 0; c < 4; ++c)
        std::memcpy(pixel + slots.slot[c] * sizeof(T), &sample[c], sizeof(T));
    }
  }
}

template <typename T>
std::vector<T> CopyOut(const World& world) {
  const ChannelSlots& slots = SlotsOf(world.layout());
  std::vector<T> rgba(static_cast<std::size_t>(world.width()) * world.height() * 4);
  T* sample = rgba.data();
  for (A_long y = 0; y < world.height(); ++y) {
    for (A_long x = 0; x < world.width(); ++x, sample += 4) {
      const unsigned char* pixel = world.PixelAddress(x, y);
      for (int c = 0; c < 4; ++c)
        std::memcpy(&sample[c], pixel + slots.slot[c] * sizeof(T), sizeof(T));
    }
  }
  return rgba;
}

}  // namespace

Layout LayoutFor(hostsim::HostApp host, int depth) {
  if (host == hostsim::HostApp::Premiere) {
    if (depth == 8) return Layout::Bgra8;
    if (depth == 32) return Layout::BgraFloat;
  } else {
    if (depth == 8) return Layout::Argb8;
    if (depth == 16) return Layout::Argb16;
    if (depth == 32) return Layout::ArgbFloat;
  }
  throw std::invalid_argument("no world layout for this host at " + std::to_string(depth) +
                              " bits");
}

World WorldFromImage(const Image& image, Layout layout) {
  World world(layout, image.width, image.height);
  switch (hostsim::ChannelSize(layout)) {
    case 1: CopyIn(ToWorld8(image), world); break;
    case 2: CopyIn(ToWorld16(image), world); break;
    default: CopyIn(ToWorld32(image), world); break;
  }
  return world;
}

void WriteWorldFile(const std::string& path, const World& world) {
  switch (hostsim::ChannelSize(world.layout())) {
    case 1: return WriteWorld8(path, world.width(), world.height(), CopyOut<std::uint8_t>(world));
    case 2: return WriteWorld16(path, world.width(), world.height(), CopyOut<std::uint16_t>(world));
    default: return WriteWorld32(path, world.width(), world.height(), CopyOut<float>(world));
  }
}

}  // namespace tavu::render
