// Image files in and out of the worlds the simulated host hands an effect: the layout a host uses
// at a depth, and the copy of RGBA samples into ARGB or BGRA memory order and back.
#pragma once

#include <string>

#include "hostsim/host.h"
#include "hostsim/world.h"
#include "tools/image_io.h"

namespace tavu::render {

// After Effects: 8-bit 'argb', 16-bit 'ae16', float 'ae32'. Premiere Pro: 8-bit 'bgra' and float
// 'BGra'; it has no 16-bit frame, and asking for one is a logic error (std::invalid_argument).
hostsim::Layout LayoutFor(hostsim::HostApp host, int depth);

// A world of `layout` and the image's size holding its pixels as ToWorld8/16/32 convert them.
hostsim::World WorldFromImage(const Image& image, hostsim::Layout layout);

// The world's pixels through WriteWorld8/16/32; the file type follows the path's extension.
void WriteWorldFile(const std::string& path, const hostsim::World& world);

}  // namespace tavu::render
