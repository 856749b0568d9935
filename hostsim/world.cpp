#include "hostsim/world.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace tavu::hostsim {

namespace {
constexpr std::size_t kGuardBytes = 64;

// Logical channel (0 alpha, 1 red, 2 green, 3 blue) to its place in memory.
std::size_t MemoryIndex(Layout layout, int channel) {
  return IsBgra(layout) ? static_cast<std::size_t>(3 - channel) : static_cast<std::size_t>(channel);
}
}  // namespace

PF_PixelFormat DefaultFormat(Layout layout) {
  switch (layout) {
    case Layout::Argb8: return PF_PixelFormat_ARGB32;
    case Layout::Argb16: return PF_PixelFormat_ARGB64;
    case Layout::ArgbFloat: return PF_PixelFormat_ARGB128;
    case Layout::Bgra8: return PrPixelFormat_BGRA_4444_8u;
    case Layout::BgraFloat: return PrPixelFormat_BGRA_4444_32f;
  }
  return 0;
}

std::size_t ChannelSize(Layout layout) {
  switch (layout) {
    case Layout::Argb8:
    case Layout::Bgra8: return 1;
    case Layout::Argb16: return 2;
    default: return 4;
  }
}
std::size_t PixelSize(Layout layout) { return 4 * ChannelSize(layout); }
bool IsBgra(Layout layout) { return layout == Layout::Bgra8 || layout == Layout::BgraFloat; }
bool IsFloat(Layout layout) { return layout == Layout::ArgbFloat || layout == Layout::BgraFloat; }
double FullScale(Layout layout) {
  switch (ChannelSize(layout)) {
    case 1: return 255.0;
    case 2: return 32768.0;
    default: return 1.0;
  }
}
const char* LayoutName(Layout layout) {
  switch (layout) {
    case Layout::Argb8: return "argb8";
    case Layout::Argb16: return "argb16";
    case Layout::ArgbFloat: return "argb32f";
    case Layout::Bgra8: return "bgra8";
    case Layout::BgraFloat: return "bgra32f";
  }
  return "?";
}

World::World(Layout layout, A_long width, A_long height, const WorldOptions& options)
    : state_(std::make_unique<State>()) {
  if (width < 0 || height < 0 || options.rowPadding < 0 ||
      options.rowPadding % static_cast<A_long>(ChannelSize(layout)) != 0) {
    throw std::invalid_argument("World: bad size or row padding");
  }
  State& s = *state_;
  s.layout = layout;
  s.format = options.format != 0 ? options.format : DefaultFormat(layout);
  s.stride = static_cast<std::size_t>(width) * PixelSize(layout) +
             static_cast<std::size_t>(options.rowPadding);
  const std::size_t pixelBytes = s.stride * static_cast<std::size_t>(height);
  s.buffer.assign(kGuardBytes + pixelBytes + kGuardBytes, kGuardByte);
  for (A_long y = 0; y < height; ++y) {
    const std::size_t row = options.bottomUp ? static_cast<std::size_t>(height - 1 - y) : y;
    std::memset(&s.buffer[kGuardBytes + row * s.stride], 0,
                static_cast<std::size_t>(width) * PixelSize(layout));
  }
  s.def = PF_LayerDef{};
  s.def.width = width;
  s.def.height = height;
  const std::size_t firstRow =
      options.bottomUp && height > 0 ? static_cast<std::size_t>(height - 1) * s.stride : 0;
  s.def.data = s.buffer.data() + kGuardBytes + firstRow;
  s.def.rowbytes = static_cast<A_long>(s.stride) * (options.bottomUp ? -1 : 1);
  s.def.extent_hint = options.extent ? *options.extent : PF_UnionableRect{0, 0, width, height};
  s.def.pix_aspect_ratio = PF_RationalScale{1, 1};
}

World World::NoPixels(Layout layout) {
  World w;
  w.state_ = std::make_unique<State>();
  w.state_->layout = layout;
  w.state_->format = DefaultFormat(layout);
  w.state_->def = PF_LayerDef{};
  w.state_->stride = 0;
  return w;
}

World::World(World&&) noexcept = default;
World& World::operator=(World&&) noexcept = default;
World::~World() = default;

unsigned char* World::PixelAddress(A_long x, A_long y) {
  return static_cast<unsigned char*>(state_->def.data) +
         static_cast<std::ptrdiff_t>(y) * state_->def.rowbytes +
         static_cast<std::ptrdiff_t>(x) * static_cast<std::ptrdiff_t>(PixelSize(state_->layout));
}
const unsigned char* World::PixelAddress(A_long x, A_long y) const {
  return const_cast<World*>(this)->PixelAddress(x, y);
}

Channels World::Get(A_long x, A_long y) const {
  if (x < 0 || y < 0 || x >= width() || y >= height()) throw std::out_of_range("World::Get");
  const unsigned char* p = PixelAddress(x, y);
  Channels out{};
  for (int c = 0; c < 4; ++c) {
    const unsigned char* at = p + MemoryIndex(layout(), c) * ChannelSize(layout());
    switch (ChannelSize(layout())) {
      case 1: out[c] = *at; break;
      case 2: {
        uint16_t v;
        std::memcpy(&v, at, 2);
        out[c] = v;
        break;
      }
      default: {
        float v;
        std::memcpy(&v, at, 4);
        out[c] = v;
      }
    }
  }
  return out;
}

void World::Set(A_long x, A_long y, const Channels& argb) {
  if (x < 0 || y < 0 || x >= width() || y >= height()) throw std::out_of_range("World::Set");
  unsigned char* p = PixelAddress(x, y);
  for (int c = 0; c < 4; ++c) {
    unsigned char* at = p + MemoryIndex(layout(), c) * ChannelSize(layout());
    switch (ChannelSize(layout())) {
      case 1: *at = static_cast<unsigned char>(std::llround(argb[c])); break;
      case 2: {
        const auto v = static_cast<uint16_t>(std::llround(argb[c]));
        std::memcpy(at, &v, 2);
        break;
      }
      default: {
        const auto v = static_cast<float>(argb[c]);
        std::memcpy(at, &v, 4);
      }
    }
  }
}

void World::Fill(const std::function<Channels(A_long x, A_long y)>& value) {
  for (A_long y = 0; y < height(); ++y) {
    for (A_long x = 0; x < width(); ++x) Set(x, y, value(x, y));
  }
}

PF_PixelFloat World::GetNormalised(A_long x, A_long y) const {
  const Channels c = Get(x, y);
  const double s = FullScale(layout());
  return PF_PixelFloat{static_cast<float>(c[0] / s), static_cast<float>(c[1] / s),
                       static_cast<float>(c[2] / s), static_cast<float>(c[3] / s)};
}

bool World::OutsideIntact() const {
  const State& s = *state_;
  if (s.buffer.empty()) return true;
  const std::size_t rowPixels = static_cast<std::size_t>(s.def.width) * PixelSize(s.layout);
  for (std::size_t i = 0; i < s.buffer.size(); ++i) {
    const bool inPixels = s.stride != 0 && i >= kGuardBytes && i < s.buffer.size() - kGuardBytes &&
                          (i - kGuardBytes) % s.stride < rowPixels;
    if (!inPixels && s.buffer[i] != kGuardByte) return false;
  }
  return true;
}

}  // namespace tavu::hostsim
