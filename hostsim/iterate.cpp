// The iterate suites. Rows are handed out one at a time from a shared counter to a fixed set of
// threads started for the call, so rows of one frame really run at the same time, as in the host.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <exception>
#include <thread>

#include "hostsim/host.h"
#include "hostsim/render_services.h"

namespace tavu::hostsim {

struct IterateImpl {
  template <class Pixel, class Fn>
  static PF_Err Run(int bits, PF_InData*, A_long progressBase, A_long progressFinal,
                    PF_EffectWorld* src, const PF_Rect* area, const PF_Point* origin, void* refcon,
                    Fn fn, PF_EffectWorld* dst) {
    Host& host = Host::Current();
    IterateSuites& self = host.render().iterate;
    if (auto f = host.Fault("iterate_origin")) return *f;
    if (src == nullptr || dst == nullptr || area == nullptr || fn == nullptr) {
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    const PF_Point shift = origin ? *origin : PF_Point{0, 0};
    {
      std::lock_guard<std::mutex> lock(self.mutex_);
      self.calls_.push_back(
          {bits, progressBase, progressFinal, *area, shift, src, dst, refcon});
    }
    const A_long left = std::max<A_long>(area->left, 0);
    const A_long right = std::min<A_long>(area->right, dst->width);
    const A_long top = std::max<A_long>(area->top, 0);
    const A_long bottom = std::min<A_long>(area->bottom, dst->height);
    if (left >= right || top >= bottom) return PF_Err_NONE;
    // The host hands out only pixels that exist: every source pixel the area maps to must lie in
    // the source, and both worlds must have pixel data.
    if (dst->data == nullptr || src->data == nullptr || left + int64_t{shift.h} < 0 ||
        right + int64_t{shift.h} > src->width || top + int64_t{shift.v} < 0 ||
        bottom + int64_t{shift.v} > src->height) {
      return PF_Err_BAD_CALLBACK_PARAM;
    }

    // 64 bits: every thread takes one number past the last row before it stops, which for rows
    // near the top of the 32-bit range would wrap a 32-bit counter round to a row far before
    // the area.
    std::atomic<int64_t> next{top};
    std::atomic<PF_Err> firstError{PF_Err_NONE};
    auto work = [&] {
      long calls = 0;
      for (int64_t row = next.fetch_add(1); row < bottom; row = next.fetch_add(1)) {
        if (firstError.load() != PF_Err_NONE) break;
        const A_long y = static_cast<A_long>(row);
        char* inRow = static_cast<char*>(src->data) + int64_t{y + shift.v} * src->rowbytes;
        char* outRow = static_cast<char*>(dst->data) + int64_t{y} * dst->rowbytes;
        for (A_long x = left; x < right; ++x) {
          Pixel* in = reinterpret_cast<Pixel*>(inRow) + (int64_t{x} + shift.h);
          Pixel* out = reinterpret_cast<Pixel*>(outRow) + x;
          ++calls;
          if (const PF_Err err = fn(refcon, x, y, in, out)) {
            PF_Err none = PF_Err_NONE;
            firstError.compare_exchange_strong(none, err);
            break;
          }
        }
      }
      self.pixel_calls_.fetch_add(calls);
    };
    // The caller's thread works too, beside threads - 1 started for the call. Short of threads or
    // memory, the rows run on the threads that could be started: they take their rows from one
    // counter, so any number of them covers every row.
    const int threads = std::min<int>(self.threads(), bottom - top);
    std::vector<std::thread> pool;
    try {
      pool.reserve(threads - 1);
      for (int i = 1; i < threads; ++i) pool.emplace_back(work);
    } catch (const std::exception&) {
    }
    work();
    for (auto& t : pool) t.join();
    return firstError.load();
  }

  static PF_Err Origin8(PF_InData* in, A_long base, A_long final, PF_EffectWorld* src,
                        const PF_Rect* area, const PF_Point* origin, void* refcon,
                        PF_IteratePixel8Func fn, PF_EffectWorld* dst) {
    return Run<PF_Pixel>(8, in, base, final, src, area, origin, refcon, fn, dst);
  }
  static PF_Err Origin16(PF_InData* in, A_long base, A_long final, PF_EffectWorld* src,
                         const PF_Rect* area, const PF_Point* origin, void* refcon,
                         PF_IteratePixel16Func fn, PF_EffectWorld* dst) {
    return Run<PF_Pixel16>(16, in, base, final, src, area, origin, refcon, fn, dst);
  }
  static PF_Err OriginFloat(PF_InData* in, A_long base, A_long final, PF_EffectWorld* src,
                            const PF_Rect* area, const PF_Point* origin, void* refcon,
                            PF_IteratePixelFloatFunc fn, PF_EffectWorld* dst) {
    return Run<PF_PixelFloat>(32, in, base, final, src, area, origin, refcon, fn, dst);
  }
  // iterate is iterate_origin without an origin.
  static PF_Err Plain8(PF_InData* in, A_long base, A_long final, PF_EffectWorld* src,
                       const PF_Rect* area, void* refcon, PF_IteratePixel8Func fn,
                       PF_EffectWorld* dst) {
    return Origin8(in, base, final, src, area, nullptr, refcon, fn, dst);
  }
  static PF_Err Plain16(PF_InData* in, A_long base, A_long final, PF_EffectWorld* src,
                        const PF_Rect* area, void* refcon, PF_IteratePixel16Func fn,
                        PF_EffectWorld* dst) {
    return Origin16(in, base, final, src, area, nullptr, refcon, fn, dst);
  }
  static PF_Err PlainFloat(PF_InData* in, A_long base, A_long final, PF_EffectWorld* src,
                           const PF_Rect* area, void* refcon, PF_IteratePixelFloatFunc fn,
                           PF_EffectWorld* dst) {
    return OriginFloat(in, base, final, src, area, nullptr, refcon, fn, dst);
  }
};

IterateSuites::IterateSuites()
    : threads_(std::max(1, static_cast<int>(std::thread::hardware_concurrency()))) {
  suite8.iterate = IterateImpl::Plain8;
  suite8.iterate_origin = IterateImpl::Origin8;
  suite16.iterate = IterateImpl::Plain16;
  suite16.iterate_origin = IterateImpl::Origin16;
  suiteFloat.iterate = IterateImpl::PlainFloat;
  suiteFloat.iterate_origin = IterateImpl::OriginFloat;
}

void IterateSuites::set_threads(int threads) { threads_.store(std::max(1, threads)); }

std::vector<IterateSuites::Call> IterateSuites::Calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

void IterateSuites::ClearCalls() {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.clear();
}

}  // namespace tavu::hostsim
