// Small checks on the simulated host that several suites make the same way: which suites a path
// acquired, what a throwing host call threw, and the bytes a world's pixels hold.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "hostsim/host.h"
#include "hostsim/world.h"

namespace tavu::testing {

// Whether anything acquired the named suite (any version) from this host.
inline bool Acquired(const hostsim::Host& host, const std::string& name) {
  for (const auto& c : host.SuiteLog())
    if (c.kind == hostsim::SuiteCall::Kind::Acquire && c.name == name) return true;
  return false;
}

// The int f threw (host errors travel as ints), or 0 when it returned.
inline int Throws(const std::function<void()>& f) {
  try {
    f();
  } catch (int e) {
    return e;
  }
  return 0;
}

// The pixels of w row by row, without the rows' padding, for comparing renders byte for byte.
inline std::vector<unsigned char> Pixels(const hostsim::World& w) {
  std::vector<unsigned char> out;
  const std::size_t row = static_cast<std::size_t>(w.width()) * hostsim::PixelSize(w.layout());
  for (A_long y = 0; y < w.height(); ++y) {
    const unsigned char* p = w.PixelAddress(0, y);
    out.insert(out.end(), p, p + row);
  }
  return out;
}

}  // namespace tavu::testing
