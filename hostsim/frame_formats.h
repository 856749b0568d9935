// The six frame formats the two hosts serve: After Effects' 8-bit, 16-bit and float ARGB worlds,
// and Premiere Pro's 8-bit, float and linear float BGRA frames. Tests, benchmarks and digests
// walk this one table.
#pragma once

#include "hostsim/host.h"
#include "hostsim/world.h"

namespace tavu::hostsim {

struct FrameFormat {
  const char* name;
  HostApp app;
  Layout layout;
  PF_PixelFormat code;  // 0: the layout's own
};

inline const FrameFormat kFrameFormats[] = {
    {"ae/argb8", HostApp::AfterEffects, Layout::Argb8, 0},
    {"ae/argb16", HostApp::AfterEffects, Layout::Argb16, 0},
    {"ae/argb32f", HostApp::AfterEffects, Layout::ArgbFloat, 0},
    {"pr/bgra8", HostApp::Premiere, Layout::Bgra8, 0},
    {"pr/bgra32f", HostApp::Premiere, Layout::BgraFloat, 0},
    {"pr/bgra32f_lin", HostApp::Premiere, Layout::BgraFloat, PrPixelFormat_BGRA_4444_32f_Linear},
};

}  // namespace tavu::hostsim
