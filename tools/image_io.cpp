// PNG through libpng, OpenEXR through the OpenEXR C++ library, and the exact channel conversions
// between their samples and a world's values.

#include "tools/image_io.h"

#include <Iex.h>
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfInputFile.h>
#include <ImfOutputFile.h>
#include <ImfVersion.h>
#include <fcntl.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <type_traits>

#include "tools/atomic_file.h"

namespace tavu::render {
namespace {

// ---- channel scales and the one conversion between any two of them ----------------------------
//
// An integer scale maps 0..kMax to 0..1; the float scale is 0..1 itself. A world at depth 8 uses
// the PNG8 scale, at depth 16 the 0..32768 scale, at depth 32 the float scale.

template <typename T, std::uint32_t Max>
struct IntegerScale {
  using Channel = T;
  static constexpr std::uint32_t kMax = Max;
};
using Png8Scale = IntegerScale<std::uint8_t, 255>;
using Png16Scale = IntegerScale<std::uint16_t, 65535>;
using World16Scale = IntegerScale<std::uint16_t, 32768>;
struct FloatScale {
  using Channel = float;
};

// round(v·num/den) with halves rounded up, for non-negative integers. Done in integers so that no
// binary fraction ever decides a rounding: floor((2·v·num + den) / (2·den)) is exactly the
// rational v·num/den + 1/2 rounded down. 2·65535·65535 fits easily in 64 bits.
constexpr std::uint32_t RoundRatio(std::uint64_t v, std::uint64_t num, std::uint64_t den) {
  return static_cast<std::uint32_t>((2 * v * num + den) / (2 * den));
}

// round(clamp01(v)·max) with halves rounded up; NaN counts as 0. A float has 24 significant bits
// and max at most 16, so v·max is exact in double and so is its distance to the integer below:
// the halfway test compares the true product, not a rounded one.
std::uint32_t RoundUnitFloat(float v, std::uint32_t max) {
  if (!(v > 0.0f)) return 0;  // also NaN
  if (v >= 1.0f) return max;
  const double product = static_cast<double>(v) * max;
  const double whole = std::floor(product);
  return static_cast<std::uint32_t>(whole) + (product - whole >= 0.5 ? 1u : 0u);
}

template <typename From, typename To>
typename To::Channel ConvertChannel(typename From::Channel v) {
  using Out = typename To::Channel;
  if constexpr (std::is_same_v<From, To>) {
    return v;
  } else if constexpr (std::is_same_v<From, FloatScale>) {
    return static_cast<Out>(RoundUnitFloat(v, To::kMax));
  } else if constexpr (std::is_same_v<To, FloatScale>) {
    // One single-precision division, correctly rounded; v·(1/max) would differ in the last bit.
    return static_cast<float>(v) / static_cast<float>(From::kMax);
  } else {
    // The 0..32768 scale can hold values above its maximum; they count as the maximum.
    return static_cast<Out>(
        RoundRatio(std::min<std::uint32_t>(v, From::kMax), To::kMax, From::kMax));
  }
}

template <typename From, typename To>
std::vector<typename To::Channel> ConvertSamples(const std::vector<typename From::Channel>& in) {
  std::vector<typename To::Channel> out(in.size());
  std::transform(in.begin(), in.end(), out.begin(), ConvertChannel<From, To>);
  return out;
}

template <typename To>
std::vector<typename To::Channel> ConvertImage(const Image& image) {
  switch (image.kind()) {
    case SampleKind::kPng8:
      return ConvertSamples<Png8Scale, To>(std::get<std::vector<std::uint8_t>>(image.samples));
    case SampleKind::kPng16:
      return ConvertSamples<Png16Scale, To>(std::get<std::vector<std::uint16_t>>(image.samples));
    case SampleKind::kExrFloat:
      break;
  }
  return ConvertSamples<FloatScale, To>(std::get<std::vector<float>>(image.samples));
}

// ---- errors and files ---------------------------------------------------------------------------

[[noreturn]] void Fail(ImageErrorKind kind, const std::string& path, const std::string& detail) {
  throw ImageError(kind, path + ": " + detail);
}

ImageFileType RequireFileType(const std::string& path) {
  const std::optional<ImageFileType> type = ImageFileTypeFor(path);
  if (!type) Fail(ImageErrorKind::kUnsupportedType, path, "not a .png or .exr file name");
  return *type;
}

void CheckDimensions(const std::string& path, std::int64_t width, std::int64_t height) {
  if (width <= 0 || height <= 0) {
    Fail(ImageErrorKind::kCorrupt, path,
         "invalid image size " + std::to_string(width) + " x " + std::to_string(height));
  }
  if (width > kMaxImageDimension || height > kMaxImageDimension ||
      width * height > kMaxImagePixels) {
    Fail(ImageErrorKind::kTooLarge, path,
         "image of " + std::to_string(width) + " x " + std::to_string(height) +
             " pixels is larger than this tool accepts");
  }
}

// Largest file read into memory; far above any image within kMaxImagePixels.
constexpr std::uintmax_t kMaxFileBytes = std::uintmax_t{1} << 32;

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (status.type() == fs::file_type::not_found) {
    Fail(ImageErrorKind::kNotFound, path, "no such file");
  }
  if (error) Fail(ImageErrorKind::kUnreadable, path, "cannot read: " + error.message());
  if (!fs::is_regular_file(status)) {
    Fail(ImageErrorKind::kUnreadable, path, "not a regular file");
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    Fail(ImageErrorKind::kUnreadable, path, std::string("cannot open: ") + std::strerror(errno));
  }
  std::vector<std::uint8_t> bytes;
  std::uint8_t chunk[1 << 16];
  bool tooLarge = false;
  for (;;) {
    const std::size_t got = std::fread(chunk, 1, sizeof chunk, file);
    bytes.insert(bytes.end(), chunk, chunk + got);
    if (got < sizeof chunk) break;
    if (bytes.size() > kMaxFileBytes) {
      tooLarge = true;
      break;
    }
  }
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (tooLarge) Fail(ImageErrorKind::kTooLarge, path, "file is larger than this tool accepts");
  if (failed) Fail(ImageErrorKind::kUnreadable, path, "read error");
  return bytes;
}

// Writes all of [data, data + size) or returns the errno of the failure.
int WriteAll(int fd, const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t written = ::write(fd, p, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    p += written;
    size -= static_cast<std::size_t>(written);
  }
  return 0;
}

// ---- PNG ----------------------------------------------------------------------------------------
//
// libpng reports errors by longjmp. Every setjmp below sits in a function whose locals are all
// trivially destructible, and the callbacks libpng jumps out of are the same, so the jump skips
// no C++ destructor; vectors and the png structs are owned by the callers of those functions.

struct PngIo {
  const std::uint8_t* data = nullptr;  // reading: the whole file
  std::size_t size = 0;
  std::size_t position = 0;
  int fd = -1;  // writing
  int writeErrno = 0;
  char message[256] = {};
};

void PngOnError(png_structp png, png_const_charp message) {
  PngIo* io = static_cast<PngIo*>(png_get_error_ptr(png));
  std::snprintf(io->message, sizeof io->message, "%s", message);
  png_longjmp(png, 1);
}

// Warnings are about things libpng recovers from (an unknown or damaged ancillary chunk); the
// pixels are still right, and a library must not print.
void PngOnWarning(png_structp, png_const_charp) {}

void PngReadBytes(png_structp png, png_bytep out, png_size_t length) {
  PngIo* io = static_cast<PngIo*>(png_get_io_ptr(png));
  if (length > io->size - io->position) png_error(png, "the file ends early (truncated)");
  std::memcpy(out, io->data + io->position, length);
  io->position += length;
}

void PngWriteBytes(png_structp png, png_bytep data, png_size_t length) {
  PngIo* io = static_cast<PngIo*>(png_get_io_ptr(png));
  io->writeErrno = WriteAll(io->fd, data, length);
  if (io->writeErrno != 0) png_error(png, "write failed");
}

void PngFlush(png_structp) {}

struct PngLayout {
  png_uint_32 width;
  png_uint_32 height;
  int bitDepth;  // after the transformations: 8 or 16
  png_size_t rowBytes;
};

// Reads the header and sets up the transformations that deliver every PNG as RGBA of its own
// bit depth. No gamma or sBIT handling: the samples stay exactly as stored.
bool PngReadLayout(png_structp png, png_infop info, PngLayout* layout) {
  if (setjmp(png_jmpbuf(png))) return false;
  // Our own size limit decides, with its own error, instead of libpng's default one.
  png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
  png_read_info(png, info);
  layout->width = png_get_image_width(png, info);
  layout->height = png_get_image_height(png, info);
  if (layout->width > static_cast<png_uint_32>(kMaxImageDimension) ||
      layout->height > static_cast<png_uint_32>(kMaxImageDimension) ||
      std::int64_t{layout->width} * layout->height > kMaxImagePixels) {
    return true;  // the caller refuses the size before anything is allocated
  }
  const int colorType = png_get_color_type(png, info);
  png_set_expand(png);  // palette to RGB, gray below 8 bits to 8 bits, tRNS to an alpha channel
  if ((colorType & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(png);
  if ((colorType & PNG_COLOR_MASK_ALPHA) == 0 && !png_get_valid(png, info, PNG_INFO_tRNS)) {
    png_set_add_alpha(png, 0xFFFF, PNG_FILLER_AFTER);  // 8-bit images take the low byte, 255
  }
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  layout->bitDepth = png_get_bit_depth(png, info);
  layout->rowBytes = png_get_rowbytes(png, info);
  return true;
}

bool PngReadPixels(png_structp png, png_infop info, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  png_read_end(png, info);  // a file cut after its image data is still a damaged file
  return true;
}

bool PngWriteRows(png_structp png, png_infop info, png_uint_32 width, png_uint_32 height,
                  int bitDepth, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, width, height, bitDepth, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, info);
  return true;
}

class PngReadStruct {
 public:
  explicit PngReadStruct(PngIo* io)
      : png_(png_create_read_struct(PNG_LIBPNG_VER_STRING, io, PngOnError, PngOnWarning)),
        info_(png_ != nullptr ? png_create_info_struct(png_) : nullptr) {
    if (info_ == nullptr) throw std::bad_alloc();
    png_set_read_fn(png_, io, PngReadBytes);
  }
  ~PngReadStruct() { png_destroy_read_struct(&png_, &info_, nullptr); }
  PngReadStruct(const PngReadStruct&) = delete;
  PngReadStruct& operator=(const PngReadStruct&) = delete;
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  png_structp png_;
  png_infop info_;
};

class PngWriteStruct {
 public:
  explicit PngWriteStruct(PngIo* io)
      : png_(png_create_write_struct(PNG_LIBPNG_VER_STRING, io, PngOnError, PngOnWarning)),
        info_(png_ != nullptr ? png_create_info_struct(png_) : nullptr) {
    if (info_ == nullptr) {
      png_destroy_write_struct(&png_, nullptr);
      throw std::bad_alloc();
    }
    png_set_write_fn(png_, io, PngWriteBytes, PngFlush);
  }
  ~PngWriteStruct() { png_destroy_write_struct(&png_, &info_); }
  PngWriteStruct(const PngWriteStruct&) = delete;
  PngWriteStruct& operator=(const PngWriteStruct&) = delete;
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }

 private:
  png_structp png_;
  png_infop info_;
};

// 16-bit PNG samples are big-endian on disk whatever the machine.
std::uint16_t LoadBigEndian16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

Image ReadPng(const std::string& path, const std::vector<std::uint8_t>& file) {
  if (file.size() < 8 || png_sig_cmp(file.data(), 0, 8) != 0) {
    Fail(ImageErrorKind::kCorrupt, path, "not a PNG file");
  }
  PngIo io;
  io.data = file.data();
  io.size = file.size();
  PngReadStruct reader(&io);
  PngLayout layout{};
  if (!PngReadLayout(reader.png(), reader.info(), &layout)) {
    Fail(ImageErrorKind::kCorrupt, path, std::string("damaged PNG: ") + io.message);
  }
  CheckDimensions(path, layout.width, layout.height);
  const std::size_t samplesPerRow = std::size_t{layout.width} * 4;
  const std::size_t bytesPerSample = layout.bitDepth == 16 ? 2 : 1;
  if ((layout.bitDepth != 8 && layout.bitDepth != 16) ||
      layout.rowBytes != samplesPerRow * bytesPerSample) {
    Fail(ImageErrorKind::kCorrupt, path, "unsupported PNG layout");
  }
  std::vector<std::uint8_t> pixels(layout.rowBytes * layout.height);
  std::vector<png_bytep> rows(layout.height);
  for (png_uint_32 y = 0; y < layout.height; ++y) rows[y] = &pixels[y * layout.rowBytes];
  if (!PngReadPixels(reader.png(), reader.info(), rows.data())) {
    Fail(ImageErrorKind::kCorrupt, path, std::string("damaged PNG: ") + io.message);
  }

  Image image;
  image.width = static_cast<int>(layout.width);
  image.height = static_cast<int>(layout.height);
  if (layout.bitDepth == 8) {
    image.samples = std::move(pixels);
  } else {
    std::vector<std::uint16_t> samples(pixels.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = LoadBigEndian16(&pixels[2 * i]);
    image.samples = std::move(samples);
  }
  return image;
}

// bitDepth 8 or 16; packed holds the rows as they go into the file (16-bit big-endian).
void WritePng(const std::string& path, int width, int height, int bitDepth,
              const std::uint8_t* packed) {
  PendingFile out(path);
  PngIo io;
  io.fd = out.fd();
  {
    PngWriteStruct writer(&io);
    const std::size_t rowBytes = std::size_t(width) * 4 * std::size_t(bitDepth / 8);
    std::vector<png_bytep> rows(height);
    // libpng takes non-const rows but only reads them when no transformation is set.
    for (int y = 0; y < height; ++y) rows[y] = const_cast<png_bytep>(packed + y * rowBytes);
    if (!PngWriteRows(writer.png(), writer.info(), width, height, bitDepth, rows.data())) {
      Fail(ImageErrorKind::kWriteFailed, path,
           io.writeErrno != 0 ? std::string(std::strerror(io.writeErrno)) : io.message);
    }
  }
  out.Commit();
}

// ---- OpenEXR ------------------------------------------------------------------------------------

// Reads the file from the bytes already in memory, so both formats see the same file contents
// and the same not-found and unreadable handling.
class MemoryIStream : public Imf::IStream {
 public:
  MemoryIStream(const std::string& name, const std::vector<std::uint8_t>& bytes)
      : Imf::IStream(name.c_str()), bytes_(bytes) {}
  bool read(char out[], int n) override {
    if (n < 0 || position_ > bytes_.size() || std::size_t(n) > bytes_.size() - position_) {
      throw Iex::InputExc("the file ends early (truncated)");
    }
    std::memcpy(out, bytes_.data() + position_, std::size_t(n));
    position_ += std::size_t(n);
    return position_ < bytes_.size();
  }
  std::uint64_t tellg() override { return position_; }
  void seekg(std::uint64_t position) override { position_ = position; }

 private:
  const std::vector<std::uint8_t>& bytes_;
  std::uint64_t position_ = 0;
};

// Writes into the pending file. Imf::OutputFile writes its line-offset table from its destructor
// and swallows any exception there, so a failure is also remembered for the caller to check.
class FdOStream : public Imf::OStream {
 public:
  FdOStream(int fd, const std::string& name) : Imf::OStream(name.c_str()), fd_(fd) {}
  void write(const char data[], int n) override {
    if (errno_ == 0) errno_ = WriteAll(fd_, data, std::size_t(n));
    if (errno_ != 0) throw Iex::IoExc(std::strerror(errno_));
    position_ += std::uint64_t(n);
  }
  std::uint64_t tellp() override { return position_; }
  void seekp(std::uint64_t position) override {
    if (errno_ == 0 && ::lseek(fd_, off_t(position), SEEK_SET) < 0) errno_ = errno;
    if (errno_ != 0) throw Iex::IoExc(std::strerror(errno_));
    position_ = position;
  }
  int error() const { return errno_; }

 private:
  int fd_;
  int errno_ = 0;
  std::uint64_t position_ = 0;
};

constexpr const char* kRgbaChannelNames[4] = {"R", "G", "B", "A"};

Image ReadExr(const std::string& path, const std::vector<std::uint8_t>& file) {
  if (file.size() < 4 || !Imf::isImfMagic(reinterpret_cast<const char*>(file.data()))) {
    Fail(ImageErrorKind::kCorrupt, path, "not an OpenEXR file");
  }
  try {
    MemoryIStream stream(path, file);
    Imf::InputFile exr(stream);
    const Imf::Header& header = exr.header();
    const Imath::Box2i window = header.dataWindow();
    const std::int64_t width = std::int64_t{window.max.x} - window.min.x + 1;
    const std::int64_t height = std::int64_t{window.max.y} - window.min.y + 1;
    CheckDimensions(path, width, height);

    const Imf::ChannelList& channels = header.channels();
    const bool color = channels.findChannel("R") != nullptr ||
                       channels.findChannel("G") != nullptr || channels.findChannel("B") != nullptr;
    const bool gray = !color && channels.findChannel("Y") != nullptr;
    if (!color && !gray) {
      Fail(ImageErrorKind::kUnsupportedType, path, "OpenEXR file without R, G, B or Y channels");
    }
    if (gray && (channels.findChannel("RY") != nullptr || channels.findChannel("BY") != nullptr)) {
      Fail(ImageErrorKind::kUnsupportedType, path,
           "luminance/chroma OpenEXR files are not supported");
    }
    for (const char* name : {"R", "G", "B", "A", "Y"}) {
      const Imf::Channel* channel = channels.findChannel(name);
      if (channel != nullptr && (channel->xSampling != 1 || channel->ySampling != 1)) {
        Fail(ImageErrorKind::kUnsupportedType, path,
             std::string("subsampled channel ") + name + " is not supported");
      }
    }
    if (!exr.isComplete()) Fail(ImageErrorKind::kCorrupt, path, "incomplete OpenEXR file");

    std::vector<float> samples(std::size_t(width * height) * 4);
    char* base = reinterpret_cast<char*>(samples.data());
    const std::size_t xStride = 4 * sizeof(float);
    const std::size_t yStride = xStride * std::size_t(width);
    Imf::FrameBuffer frame;
    // Missing colour channels read as 0 and a missing alpha as opaque.
    for (int c = 0; c < 4; ++c) {
      const char* name = gray && c == 0 ? "Y" : kRgbaChannelNames[c];
      if (gray && (c == 1 || c == 2)) continue;
      frame.insert(name, Imf::Slice::Make(Imf::FLOAT, base + c * sizeof(float), window, xStride,
                                          yStride, 1, 1, c == 3 ? 1.0 : 0.0));
    }
    exr.setFrameBuffer(frame);
    exr.readPixels(window.min.y, window.max.y);
    if (gray) {
      for (std::size_t i = 0; i < samples.size(); i += 4)
        samples[i + 1] = samples[i + 2] = samples[i];
    }

    Image image;
    image.width = static_cast<int>(width);
    image.height = static_cast<int>(height);
    image.samples = std::move(samples);
    return image;
  } catch (const ImageError&) {
    throw;
  } catch (const std::bad_alloc&) {
    Fail(ImageErrorKind::kTooLarge, path, "out of memory while reading");
  } catch (const std::exception& e) {
    Fail(ImageErrorKind::kCorrupt, path, std::string("damaged OpenEXR file: ") + e.what());
  }
}

void WriteExr(const std::string& path, int width, int height, const std::vector<float>& rgba) {
  PendingFile out(path);
  std::string failure;
  {
    FdOStream stream(out.fd(), out.temp_path());
    try {
      Imf::Header header(width, height);
      for (const char* name : kRgbaChannelNames)
        header.channels().insert(name, Imf::Channel(Imf::FLOAT));
      Imf::OutputFile exr(stream, header);
      Imf::FrameBuffer frame;
      char* base = const_cast<char*>(reinterpret_cast<const char*>(rgba.data()));
      const std::size_t xStride = 4 * sizeof(float);
      for (int c = 0; c < 4; ++c) {
        frame.insert(kRgbaChannelNames[c], Imf::Slice(Imf::FLOAT, base + c * sizeof(float), xStride,
                                                      xStride * std::size_t(width)));
      }
      exr.setFrameBuffer(frame);
      exr.writePixels(height);
    } catch (const std::exception& e) {
      failure = e.what();
    }
    if (failure.empty() && stream.error() != 0) failure = std::strerror(stream.error());
  }
  if (!failure.empty()) Fail(ImageErrorKind::kWriteFailed, path, failure);
  out.Commit();
}

// ---- writing any scale --------------------------------------------------------------------------

void CheckWriteRequest(const std::string& path, int width, int height, std::size_t count) {
  if (width <= 0 || height <= 0 || width > kMaxImageDimension || height > kMaxImageDimension) {
    Fail(ImageErrorKind::kInvalidArgument, path,
         "cannot write an image of " + std::to_string(width) + " x " + std::to_string(height));
  }
  if (count != std::size_t(width) * std::size_t(height) * 4) {
    Fail(ImageErrorKind::kInvalidArgument, path,
         std::to_string(count) + " samples given for a " + std::to_string(width) + " x " +
             std::to_string(height) + " RGBA image");
  }
}

// Samples of the scale From go out as 8-bit PNG when they are bytes, as 16-bit PNG otherwise, and
// as float OpenEXR.
template <typename From>
void WriteSamples(const std::string& path, int width, int height,
                  const std::vector<typename From::Channel>& rgba) {
  const ImageFileType type = RequireFileType(path);
  CheckWriteRequest(path, width, height, rgba.size());
  if (type == ImageFileType::kExr) {
    if constexpr (std::is_same_v<From, FloatScale>) {
      WriteExr(path, width, height, rgba);
    } else {
      WriteExr(path, width, height, ConvertSamples<From, FloatScale>(rgba));
    }
  } else if constexpr (std::is_same_v<typename From::Channel, std::uint8_t>) {
    WritePng(path, width, height, 8, rgba.data());
  } else {
    const std::vector<std::uint16_t> png16 = ConvertSamples<From, Png16Scale>(rgba);
    std::vector<std::uint8_t> packed(png16.size() * 2);
    for (std::size_t i = 0; i < png16.size(); ++i) {
      packed[2 * i] = static_cast<std::uint8_t>(png16[i] >> 8);
      packed[2 * i + 1] = static_cast<std::uint8_t>(png16[i] & 0xFF);
    }
    WritePng(path, width, height, 16, packed.data());
  }
}

}  // namespace

std::optional<ImageFileType> ImageFileTypeFor(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension == ".png") return ImageFileType::kPng;
  if (extension == ".exr") return ImageFileType::kExr;
  return std::nullopt;
}

Image ReadImage(const std::string& path) {
  const ImageFileType type = RequireFileType(path);
  try {
    const std::vector<std::uint8_t> file = ReadFileBytes(path);
    return type == ImageFileType::kPng ? ReadPng(path, file) : ReadExr(path, file);
  } catch (const std::bad_alloc&) {
    Fail(ImageErrorKind::kTooLarge, path, "out of memory while reading");
  }
}

std::vector<std::uint8_t> ToWorld8(const Image& image) { return ConvertImage<Png8Scale>(image); }
std::vector<std::uint16_t> ToWorld16(const Image& image) {
  return ConvertImage<World16Scale>(image);
}
std::vector<float> ToWorld32(const Image& image) { return ConvertImage<FloatScale>(image); }

void WriteWorld8(const std::string& path, int width, int height,
                 const std::vector<std::uint8_t>& rgba) {
  WriteSamples<Png8Scale>(path, width, height, rgba);
}
void WriteWorld16(const std::string& path, int width, int height,
                  const std::vector<std::uint16_t>& rgba) {
  WriteSamples<World16Scale>(path, width, height, rgba);
}
void WriteWorld32(const std::string& path, int width, int height, const std::vector<float>& rgba) {
  WriteSamples<FloatScale>(path, width, height, rgba);
}

void WriteImage(const std::string& path, const Image& image) {
  switch (image.kind()) {
    case SampleKind::kPng8:
      return WriteSamples<Png8Scale>(path, image.width, image.height,
                                     std::get<std::vector<std::uint8_t>>(image.samples));
    case SampleKind::kPng16:
      return WriteSamples<Png16Scale>(path, image.width, image.height,
                                      std::get<std::vector<std::uint16_t>>(image.samples));
    case SampleKind::kExrFloat:
      break;
  }
  WriteSamples<FloatScale>(path, image.width, image.height,
                           std::get<std::vector<float>>(image.samples));
}

}  // namespace tavu::render
