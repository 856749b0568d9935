// Turns the fuzzer's bytes into decisions. Every read takes bytes from the front, so a small
// change to the input changes one decision and leaves the rest of the scenario in place, which
// keeps the fuzzer's mutations meaningful. Past the end every read yields zeros: an input may
// stop anywhere and still describe a complete scenario (zero always picks the plainest choice).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tavu::fuzz {

class ByteReader {
 public:
  ByteReader(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool empty() const { return at_ >= size_; }

  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  bool Bool() { return (Byte() & 1) != 0; }
  // Low part first. The reads are separate statements: the operands of | may be evaluated in
  // either order, and a reproducer must decode the same under every compiler.
  uint16_t U16() {
    const uint16_t low = Byte();
    return static_cast<uint16_t>(low | (Byte() << 8));
  }
  uint32_t U32() {
    const uint32_t low = U16();
    return low | (static_cast<uint32_t>(U16()) << 16);
  }
  uint64_t U64() {
    const uint64_t low = U32();
    return low | (static_cast<uint64_t>(U32()) << 32);
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }

  // A value in lo..hi (inclusive); one byte when the range fits in one.
  int32_t Between(int32_t lo, int32_t hi) {
    const uint32_t span = static_cast<uint32_t>(hi) - static_cast<uint32_t>(lo) + 1u;
    const uint32_t raw = span <= 256 ? Byte() : U32();
    return static_cast<int32_t>(static_cast<uint32_t>(lo) + (span == 0 ? raw : raw % span));
  }

  // True with probability n/256, and false past the end: for departures from the plain way.
  bool Rarely(int n) { return Byte() >= 256 - n; }

  template <class T, std::size_t N>
  const T& Pick(const T (&choices)[N]) {
    return choices[Byte() % N];
  }

  float FloatBits() {
    const uint32_t bits = U32();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
  }
  double DoubleBits() {
    const uint64_t bits = U64();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
  }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

}  // namespace tavu::fuzz
