// Address space far larger than the memory behind it: a reservation whose pages are backed only
// where something touches them, so a test can address bytes 2^31 and more apart without
// allocating gigabytes.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <stdexcept>

namespace tavu::testing {

class FarMemory {
 public:
  explicit FarMemory(std::size_t size) : size_(size) {
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) throw std::runtime_error("cannot reserve address space");
    base_ = static_cast<char*>(p);
  }
  ~FarMemory() { munmap(base_, size_); }
  FarMemory(const FarMemory&) = delete;
  FarMemory& operator=(const FarMemory&) = delete;
  char* base() const { return base_; }

 private:
  std::size_t size_;
  char* base_;
};

}  // namespace tavu::testing
