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
void CopyRowIn(const T* rgba, World& world, A_long y) {
  const ChannelSlots& slots = SlotsOf(world.layout());
  for (A_long x = 0; x < world.width(); ++x, rgba += 4) {
    unsigned char* pixel = world.PixelAddress(x, y);
    for (int c = 0; c < 4; ++c) std::memcpy(pixel + slots.slot[c] * sizeof(T), &rgba[c], sizeof(T));
  }
}

template <typename T>
void CopyRowOut(const World& world, A_long y, T* rgba) {
  const ChannelSlots& slots = SlotsOf(world.layout());
  for (A_long x = 0; x < world.width(); ++x, rgba += 4) {
    const unsigned char* pixel = world.PixelAddress(x, y);
    for (int c = 0; c < 4; ++c) std::memcpy(&rgba[c], pixel + slots.slot[c] * sizeof(T), sizeof(T));
  }
}

// Decodes the reader's rows into the world through one row of world values.
template <typename T>
void ReadInto(ImageReader& reader, World& world,
              void (*convert)(SampleKind, const void*, std::size_t, T*)) {
  std::vector<T> row(static_cast<std::size_t>(world.width()) * 4);
  const SampleKind kind = reader.kind();
  reader.ReadRows([&](int y, const void* samples) {
    convert(kind, samples, row.size(), row.data());
    CopyRowIn(row.data(), world, y);
  });
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

LayerFile ReadLayerFile(ImageReader& reader, Layout layout) {
  World world(layout, reader.width(), reader.height());
  switch (hostsim::ChannelSize(layout)) {
    case 1: ReadInto<std::uint8_t>(reader, world, RowToWorld8); break;
    case 2: ReadInto<std::uint16_t>(reader, world, RowToWorld16); break;
    default: ReadInto<float>(reader, world, RowToWorld32); break;
  }
  return {std::move(world), reader.windows(), reader.part()};
}

void WriteWorldFile(const std::string& path, const World& world,
                    const std::optional<ExrWindows>& windows, int threads) {
  const int width = world.width(), height = world.height();
  switch (hostsim::ChannelSize(world.layout())) {
    case 1:
      return WriteWorldRows8(
          path, width, height, [&](int y, std::uint8_t* rgba) { CopyRowOut(world, y, rgba); },
          windows, threads);
    case 2:
      return WriteWorldRows16(
          path, width, height, [&](int y, std::uint16_t* rgba) { CopyRowOut(world, y, rgba); },
          windows, threads);
    default:
      return WriteWorldRows32(
          path, width, height, [&](int y, float* rgba) { CopyRowOut(world, y, rgba); }, windows,
          threads);
  }
}

}  // namespace tavu::render
