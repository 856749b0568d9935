// What the PNG and OpenEXR code behind image_io.h share: the error and file helpers, and the
// reader and writer each format provides. Only the image files' own sources include this.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "tools/image_io.h"

namespace tavu::render {

// ---- errors and files ---------------------------------------------------------------------------

// Throws an ImageError whose message starts with the path.
[[noreturn]] void Fail(ImageErrorKind kind, const std::string& path, const std::string& detail);

// The path's file type, or kUnsupportedType.
ImageFileType RequireFileType(const std::string& path);

// A header's size: kCorrupt when empty or negative, kTooLarge beyond this tool's limits.
void CheckDimensions(const std::string& path, std::int64_t width, std::int64_t height);

// The file opened for reading, after the checks that tell a missing file from an unreadable one.
std::FILE* OpenInput(const std::string& path);

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using InputHandle = std::unique_ptr<std::FILE, FileCloser>;

// Reads `size` bytes at the start of the file; false if the file is shorter, kUnreadable if the
// reading failed.
bool ReadStart(const std::string& path, std::FILE* file, void* out, std::size_t size);

// Writes all of [data, data + size) or returns the errno of the failure.
int WriteAll(int fd, const void* data, std::size_t size);

// ---- one format's reader and writer -------------------------------------------------------------

using RowSink = std::function<void(int y, const void* rgba)>;

// A file's decoder, as ImageReader drives it: made once the header is read, ReadRows then decodes
// the pixels top to bottom, once (an OpenEXR file that fails on several threads: once more on one,
// a row's later delivery counting). The file it reads stays open for as long as it lives.
class FormatReader {
 public:
  virtual ~FormatReader() = default;
  virtual void ReadRows(const RowSink& row) = 0;
  // The bytes ReadRows holds for the whole image while it decodes.
  virtual std::int64_t wholeImageBytes() const { return 0; }

  int width = 0;
  int height = 0;
  SampleKind kind = SampleKind::kPng8;
  std::optional<ExrWindows> windows;
  std::string part;
};

std::unique_ptr<FormatReader> OpenPngReader(const std::string& path, std::FILE* file);
// `threads`: as ImageReader takes them.
std::unique_ptr<FormatReader> OpenExrReader(const std::string& path, std::FILE* file, int threads);

// bitDepth 8 or 16; fill(y, row) puts row y into `row` as it goes into the file (16-bit
// big-endian). One row is held at a time.
void WritePng(const std::string& path, int width, int height, int bitDepth,
              const std::function<void(int, std::uint8_t*)>& fill);

// 16-bit PNG samples are big-endian on disk whatever the machine.
inline void StoreBigEndian16(std::uint16_t v, std::uint8_t* p) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v & 0xFF);
}

// fill(y, row) puts row y's width·4 floats into `row`; a band of rows is held at a time. The data
// and display windows are used when the data window is width x height. The rows are compressed
// on up to `threads` threads (0: one for each core).
void WriteExr(const std::string& path, int width, int height,
              const std::optional<ExrWindows>& windows,
              const std::function<void(int, float*)>& fill, int threads);

}  // namespace tavu::render
