// The six frame formats of the two hosts, as the benchmarks and the output digests walk them.
#pragma once

#include "hostsim/host.h"
#include "hostsim/world.h"

namespace tavu::bench {

struct Format {
  const char* name;
  hostsim::HostApp app;
  hostsim::Layout layout;
  PF_PixelFormat code;  // 0: the layout's own
};

inline const Format kFormats[] = {
    {"ae/argb8", hostsim::HostApp::AfterEffects, hostsim::Layout::Argb8, 0},
    {"ae/argb16", hostsim::HostApp::AfterEffects, hostsim::Layout::Argb16, 0},
    {"ae/argb32f", hostsim::HostApp::AfterEffects, hostsim::Layout::ArgbFloat, 0},
    {"pr/bgra8", hostsim::HostApp::Premiere, hostsim::Layout::Bgra8, 0},
    {"pr/bgra32f", hostsim::HostApp::Premiere, hostsim::Layout::BgraFloat, 0},
    {"pr/bgra32f_lin", hostsim::HostApp::Premiere, hostsim::Layout::BgraFloat,
     PrPixelFormat_BGRA_4444_32f_Linear},
};

}  // namespace tavu::bench
