// Image files for tavu-render: reading PNG and OpenEXR frames without loss, converting their
// samples into a world's channel values at 8, 16 (0..32768) or 32 (float) bits, and writing
// rendered worlds back out.
//
// All sample arrays are RGBA, row-major, four channels per pixel and no row padding; the caller
// reorders them into ARGB or BGRA worlds. Every failure is reported by throwing ImageError; no
// function here aborts, prints or leaves a partial output file behind.
//
// Frames can be large (8000 x 8000 float is 1 GiB), so files are decoded and encoded a row or a
// band of rows at a time (ImageReader, WriteWorldRows8/16/32): a caller that converts each row
// straight into its world never holds a second copy of the frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace tavu::render {

// What a file stored, so that a conversion can use the source's own scale.
enum class SampleKind {
  kPng8,      // 0..255
  kPng16,     // 0..65535
  kExrFloat,  // float as stored, any value including negative, > 1, infinite and NaN
};

// A rectangle of pixel positions, both corners included, as OpenEXR states its windows.
struct PixelBox {
  int minX = 0, minY = 0, maxX = -1, maxY = -1;
};

// Where an OpenEXR frame lies in its file's own coordinates: the data window holds the pixels, the
// display window is the frame they belong to. Neither need start at the origin nor contain the
// other.
struct ExrWindows {
  PixelBox data;
  PixelBox display;
};

// A decoded file. Gray sources are already spread to R = G = B and a missing alpha is opaque
// (255, 65535 or 1.0f); nothing else has been changed (no gamma, no sBIT shift, no clamping).
struct Image {
  int width = 0;
  int height = 0;
  // The alternative held decides the kind, so kind and samples cannot disagree; the alternatives
  // are listed in SampleKind order.
  std::variant<std::vector<std::uint8_t>, std::vector<std::uint16_t>, std::vector<float>> samples;

  // An OpenEXR source's windows; nothing for a PNG. The writers place an image without them at
  // the origin of a display window of its own size.
  std::optional<ExrWindows> windows;

  SampleKind kind() const { return static_cast<SampleKind>(samples.index()); }
};

enum class ImageErrorKind {
  kNotFound,         // no file at the path
  kUnreadable,       // present but cannot be read (a directory, no permission, I/O error)
  kUnsupportedType,  // neither a .png nor an .exr name, or an OpenEXR file without usable
                     // channels (no R, G, B or Y; luminance/chroma; subsampled) or a deep one
  kCorrupt,          // not the format its name says, truncated, or damaged
  kTooLarge,         // dimensions beyond kMaxImageDimension / kMaxImagePixels
  kOutOfMemory,      // memory ran out while reading
  kInvalidArgument,  // a write request whose sizes do not match
  kWriteFailed,      // the output could not be created, written or moved into place
};

class ImageError : public std::runtime_error {
 public:
  ImageError(ImageErrorKind kind, const std::string& message)
      : std::runtime_error(message), kind_(kind) {}
  ImageErrorKind kind() const { return kind_; }

 private:
  ImageErrorKind kind_;
};

// Limits that keep a damaged or hostile header from asking for gigabytes before any pixel data
// has been seen: 8192 x 8192 RGBA float is 1 GiB.
constexpr int kMaxImageDimension = 65536;
constexpr std::int64_t kMaxImagePixels = std::int64_t{8192} * 8192;

enum class ImageFileType { kPng, kExr };

// The file type named by the path's extension (".png" or ".exr", any letter case), or nothing.
// Lets a caller refuse an output name before rendering.
std::optional<ImageFileType> ImageFileTypeFor(const std::string& path);

// Decodes a .png (8 or 16 bits; gray, gray + alpha, RGB, RGBA or palette; interlaced or not) or an
// .exr (R, G, B and A, or Y as gray; half, float or uint channels all arrive as float; missing
// R, G or B = 0, missing A = 1). The extension decides the decoder and the content must match it.
// Of a multipart OpenEXR file the first flat part with R, G, B or Y channels is read; deep images
// (point samples per pixel) are refused as kUnsupportedType.
Image ReadImage(const std::string& path);

// The same decoding a row at a time. The constructor opens the file and reads its header (size,
// kind, windows); ReadRows then decodes the pixels top to bottom, once, handing each row to `row`
// as width·4 RGBA samples of kind(): std::uint8_t, std::uint16_t or float. The samples are valid
// during the call only. Only an interlaced PNG, whose rows arrive in seven passes, is decoded whole
// first; an OpenEXR file's pixel data is checked whole before its first row, the check and the
// decoding on up to `threads` threads (0: one for each core). So that an OpenEXR file reads, or
// fails, as it does on one thread, one the check cannot decompress (DWAA, DWAB) is decoded on one
// thread, and one whose decoding fails on several is decoded once more from the top on one: its
// rows may come twice, and the later one counts. Memory running out is kOutOfMemory, its message
// saying whether the header or the pixels were being read.
class ImageReader {
 public:
  explicit ImageReader(const std::string& path, int threads = 0);
  ~ImageReader();
  ImageReader(const ImageReader&) = delete;
  ImageReader& operator=(const ImageReader&) = delete;

  int width() const;
  int height() const;
  SampleKind kind() const;
  const std::optional<ExrWindows>& windows() const;
  // Of a file with several parts, the one read: `part 2 of 3 ("beauty")`, the name as
  // TerminalText shows it; empty otherwise.
  const std::string& part() const;
  // The bytes ReadRows holds for the whole image while it decodes: an interlaced PNG's decoded
  // pixels; 0 for a file decoded a row or a band at a time.
  std::int64_t wholeImageBytes() const;

  void ReadRows(const std::function<void(int y, const void* rgba)>& row);

  struct State;  // the decoder's, defined with it

 private:
  std::unique_ptr<State> state_;
};

// A world's channel values for `count` samples of `kind` at `samples`, as ImageReader hands them
// out, with round() rounding halves up:
//   depth 8:  PNG8 as is, PNG16 round(v·255/65535), EXR round(clamp01(v)·255)
//   depth 16: PNG8 round(v·32768/255), PNG16 round(v·32768/65535), EXR round(clamp01(v)·32768)
//   depth 32: PNG8 v/255, PNG16 v/65535 (single-precision division), EXR as stored
// clamp01 sends NaN to 0.
void RowToWorld8(SampleKind kind, const void* samples, std::size_t count, std::uint8_t* out);
void RowToWorld16(SampleKind kind, const void* samples, std::size_t count, std::uint16_t* out);
void RowToWorld32(SampleKind kind, const void* samples, std::size_t count, float* out);

// Writes a rendered world; the file type comes from the path's extension.
//   .png: depth 8 an 8-bit RGBA PNG of the bytes as rendered; depth 16 a 16-bit RGBA PNG of
//         round(min(v, 32768)·65535/32768); depth 32 a 16-bit RGBA PNG of round(clamp01(v)·65535).
//   .exr: float R, G, B, A channels of v/255, v/32768 or the floats as stored.
// rgba must hold width·height·4 values.
void WriteWorld8(const std::string& path, int width, int height,
                 const std::vector<std::uint8_t>& rgba);
void WriteWorld16(const std::string& path, int width, int height,
                  const std::vector<std::uint16_t>& rgba);
void WriteWorld32(const std::string& path, int width, int height, const std::vector<float>& rgba);

// The same, a row at a time: `row(y, rgba)` fills row y's width·4 world values and is called for
// every row top to bottom, once. An .exr takes the data and display windows, when given and the
// data window is width x height; without them the pixels lie at the origin of a display window of
// their own size. A .png has no windows. An .exr is compressed on up to `threads` threads (0: one
// for each core, as WriteWorld8/16/32 and WriteImage do).
template <typename T>
using RowFiller = std::function<void(int y, T* rgba)>;
void WriteWorldRows8(const std::string& path, int width, int height,
                     const RowFiller<std::uint8_t>& row,
                     const std::optional<ExrWindows>& windows = std::nullopt, int threads = 0);
void WriteWorldRows16(const std::string& path, int width, int height,
                      const RowFiller<std::uint16_t>& row,
                      const std::optional<ExrWindows>& windows = std::nullopt, int threads = 0);
void WriteWorldRows32(const std::string& path, int width, int height, const RowFiller<float>& row,
                      const std::optional<ExrWindows>& windows = std::nullopt, int threads = 0);

// Writes an image in its own kind where the file type allows it, so ReadImage gives it back
// unchanged: PNG8 and PNG16 to .png, float to .exr. Across types: float to .png becomes a 16-bit
// PNG of round(clamp01(v)·65535); PNG8 or PNG16 to .exr becomes floats v/255 or v/65535. An .exr
// keeps the image's windows.
void WriteImage(const std::string& path, const Image& image);

// All writers put the data into a new file in the folder the output lands in and rename it into
// place only once it is complete (tools/atomic_file.h), so a failed write leaves neither a partial
// file nor a damaged earlier one. A symbolic link is written through to its target, and a
// replaced file keeps its permission bits.

}  // namespace tavu::render
