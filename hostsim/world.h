// Worlds (pixel buffers) as the simulated host hands them to a module: the five layouts the
// effects serve, optional row padding, bottom-up rows (negative rowbytes), an extent hint, and a
// world with no pixels at all. A World owns its buffer and its PF_LayerDef; the record stays at
// one address for the World's life (also across moves), so it can be registered with the host.
//
// The helpers read and write pixels by their logical channels (alpha, red, green, blue) whatever
// the order in memory, and know nothing of the framework's conversions: tests compare against
// them independently.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/pf_effect.h"

namespace tavu::hostsim {

enum class Layout { Argb8, Argb16, ArgbFloat, Bgra8, BgraFloat };

// The format code under which the host reports a world of the layout: 'argb', 'ae16', 'ae32',
// 'bgra', 'BGra'.
PF_PixelFormat DefaultFormat(Layout layout);
std::size_t PixelSize(Layout layout);
std::size_t ChannelSize(Layout layout);
bool IsBgra(Layout layout);
bool IsFloat(Layout layout);
// The value that stands for 1.0: 255, 32768 or 1.
double FullScale(Layout layout);
const char* LayoutName(Layout layout);

struct WorldOptions {
  // Bytes after each row's pixels; a multiple of the channel size.
  A_long rowPadding = 0;
  // Rows stored bottom-up: data points at row 0, which lies last in memory, and rowbytes is
  // negative.
  bool bottomUp = false;
  // The format the host reports; 0 takes the layout's own code. 'BGaL' for linear float BGRA, or
  // any other code to drive a module's refusal paths.
  PF_PixelFormat format = 0;
  // Default: the whole world.
  std::optional<PF_UnionableRect> extent;
};

// Stored channel values in alpha, red, green, blue order: 0..255, 0..32768 (or up to 65535) or
// floats.
using Channels = std::array<double, 4>;

class World {
 public:
  World(Layout layout, A_long width, A_long height, const WorldOptions& options = {});
  // Size 0, no data, as a host serves a layer parameter that names no layer.
  static World NoPixels(Layout layout = Layout::Argb8);

  World(World&&) noexcept;
  World& operator=(World&&) noexcept;
  ~World();

  PF_LayerDef* def() { return &state_->def; }
  const PF_LayerDef* def() const { return &state_->def; }
  Layout layout() const { return state_->layout; }
  PF_PixelFormat format() const { return state_->format; }
  A_long width() const { return state_->def.width; }
  A_long height() const { return state_->def.height; }

  Channels Get(A_long x, A_long y) const;
  // Integer layouts take values rounded to the nearest integer and wrapped to the channel width;
  // tests store exact values.
  void Set(A_long x, A_long y, const Channels& argb);
  void Fill(const std::function<Channels(A_long x, A_long y)>& value);
  // Normalised by the full scale (value / 255, value / 32768; floats as stored), computed in
  // double precision and rounded once to float.
  PF_PixelFloat GetNormalised(A_long x, A_long y) const;

  unsigned char* PixelAddress(A_long x, A_long y);
  const unsigned char* PixelAddress(A_long x, A_long y) const;

  // Every byte outside the pixels (row padding and the guard bands around the buffer) still holds
  // the pattern it was created with: nothing wrote past a row or outside the frame.
  bool OutsideIntact() const;
  static constexpr unsigned char kGuardByte = 0xA5;

 private:
  struct State {
    Layout layout;
    PF_PixelFormat format;
    PF_LayerDef def;
    std::vector<unsigned char> buffer;
    std::size_t stride;
  };
  World() = default;
  std::unique_ptr<State> state_;
};

}  // namespace tavu::hostsim
