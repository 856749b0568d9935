// The sampling suites: bilinear interpolation over 16.16 fixed-point positions.
#include <cstdint>
#include <cstring>

#include "hostsim/host.h"
#include "hostsim/render_services.h"

namespace tavu::hostsim {

struct SamplingImpl {
  // Channel c (memory order) of pixel (x, y), 0 outside the world.
  template <class Channel>
  static Channel Tap(const PF_EffectWorld* w, int64_t x, int64_t y, int c) {
    if (w->data == nullptr || x < 0 || y < 0 || x >= w->width || y >= w->height) return 0;
    const char* p = static_cast<const char*>(w->data) + y * w->rowbytes +
                    x * static_cast<int64_t>(4 * sizeof(Channel)) + c * sizeof(Channel);
    Channel v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }

  template <class Channel>
  static PF_Err Sample(int bits, const char* name, PF_Fixed x, PF_Fixed y, const PF_SampPB* pb,
                       void* dst) {
    Host& host = Host::Current();
    SamplingSuites& self = host.render().sampling;
    if (auto f = host.Fault(name)) return *f;
    if (pb == nullptr || pb->src == nullptr || dst == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    {
      std::lock_guard<std::mutex> lock(self.mutex_);
      self.calls_.push_back({bits, x, y, pb->src});
    }
    // floor(x) and the fraction in 1/65536 steps; the weights of the two neighbours add to 65536.
    const int64_t ix = (int64_t{x} - (int64_t{x} & 0xFFFF)) / 65536;
    const int64_t iy = (int64_t{y} - (int64_t{y} & 0xFFFF)) / 65536;
    const int64_t fx = int64_t{x} & 0xFFFF;
    const int64_t fy = int64_t{y} & 0xFFFF;
    const int64_t wx[2] = {65536 - fx, fx};
    const int64_t wy[2] = {65536 - fy, fy};
    Channel out[4];
    for (int c = 0; c < 4; ++c) {
      if constexpr (std::is_same_v<Channel, float>) {
        double acc = 0;
        for (int j = 0; j < 2; ++j) {
          for (int i = 0; i < 2; ++i) {
            acc += double{Tap<Channel>(pb->src, ix + i, iy + j, c)} * (wx[i] / 65536.0) *
                   (wy[j] / 65536.0);
          }
        }
        out[c] = static_cast<float>(acc);
      } else {
        int64_t acc = 0;
        for (int j = 0; j < 2; ++j) {
          for (int i = 0; i < 2; ++i)
            acc += Tap<Channel>(pb->src, ix + i, iy + j, c) * wx[i] * wy[j];
        }
        out[c] = static_cast<Channel>((acc + (int64_t{1} << 31)) >> 32);
      }
    }
    std::memcpy(dst, out, sizeof out);
    return PF_Err_NONE;
  }

  static PF_Err Sub8(PF_ProgPtr, PF_Fixed x, PF_Fixed y, const PF_SampPB* pb, PF_Pixel* dst) {
    return Sample<A_u_char>(8, "subpixel_sample", x, y, pb, dst);
  }
  static PF_Err Sub16(PF_ProgPtr, PF_Fixed x, PF_Fixed y, const PF_SampPB* pb, PF_Pixel16* dst) {
    return Sample<A_u_short>(16, "subpixel_sample16", x, y, pb, dst);
  }
  static PF_Err SubFloat(PF_ProgPtr, PF_Fixed x, PF_Fixed y, const PF_SampPB* pb,
                         PF_PixelFloat* dst) {
    return Sample<float>(32, "subpixel_sample_float", x, y, pb, dst);
  }
};

SamplingSuites::SamplingSuites() {
  suite8.subpixel_sample = SamplingImpl::Sub8;
  suite16.subpixel_sample16 = SamplingImpl::Sub16;
  suiteFloat.subpixel_sample_float = SamplingImpl::SubFloat;
}

std::vector<SamplingSuites::Call> SamplingSuites::Calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

void SamplingSuites::ClearCalls() {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.clear();
}

}  // namespace tavu::hostsim
