// Image files in and out of the worlds the simulated host hands an effect: the layout a host uses
// at a depth, and the copy of RGBA samples into ARGB or BGRA memory order and back, a row at a
// time so that no second copy of a frame is ever held.
#pragma once

#include <optional>
#include <string>

#include "hostsim/host.h"
#include "hostsim/world.h"
#include "tools/image_io.h"

namespace tavu::render {

// After Effects: 8-bit 'argb', 16-bit 'ae16', float 'ae32'. Premiere Pro: 8-bit 'bgra' and float
// 'BGra'; it has no 16-bit frame, and asking for one is a logic error (std::invalid_argument).
hostsim::Layout LayoutFor(hostsim::HostApp host, int depth);

// A layer file decoded straight into a world of `layout`, each row converted by
// RowToWorld8/16/32.
struct LayerFile {
  hostsim::World world;
  std::optional<ExrWindows> windows;  // an OpenEXR source's
  std::string part;                   // which part of a multipart file, as ImageReader says
};
// The reader is opened by the caller, which may look at the header (size, windows) first.
LayerFile ReadLayerFile(ImageReader& reader, hostsim::Layout layout);

// The world's pixels as WriteWorld8/16/32 write them, converted row by row; the file type follows
// the path's extension, and an .exr takes the windows when given and is compressed on up to
// `threads` threads (see WriteWorldRows8).
void WriteWorldFile(const std::string& path, const hostsim::World& world,
                    const std::optional<ExrWindows>& windows = std::nullopt, int threads = 0);

}  // namespace tavu::render
