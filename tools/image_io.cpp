// PNG through libpng, OpenEXR through the OpenEXR C++ library, and the exact channel conversions
// between their samples and a world's values.

#include "tools/image_io.h"

#include <Iex.h>
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfInputPart.h>
#include <ImfMultiPartInputFile.h>
#include <ImfOutputFile.h>
#include <ImfPartType.h>
#include <ImfVersion.h>
#include <fcntl.h>
#include <openexr.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <type_traits>

#include "hostsim/terminal_text.h"
#include "tools/atomic_file.h"

namespace tavu::render {

using hostsim::TerminalText;

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
void ConvertRow(const typename From::Channel* in, std::size_t count, typename To::Channel* out) {
  std::transform(in, in + count, out, ConvertChannel<From, To>);
}

template <typename To>
void ConvertKindRow(SampleKind kind, const void* in, std::size_t count, typename To::Channel* out) {
  switch (kind) {
    case SampleKind::kPng8:
      return ConvertRow<Png8Scale, To>(static_cast<const std::uint8_t*>(in), count, out);
    case SampleKind::kPng16:
      return ConvertRow<Png16Scale, To>(static_cast<const std::uint16_t*>(in), count, out);
    case SampleKind::kExrFloat:
      break;
  }
  ConvertRow<FloatScale, To>(static_cast<const float*>(in), count, out);
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

// The file opened for reading, after the checks that tell a missing file from an unreadable one.
std::FILE* OpenInput(const std::string& path) {
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
  return file;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using InputHandle = std::unique_ptr<std::FILE, FileCloser>;

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
  std::FILE* file = nullptr;  // reading
  bool readFailed = false;    // the file could not be read, as opposed to ending early
  int fd = -1;                // writing
  int writeErrno = 0;
  char message[256] = {};
  char trnsWarning[256] = {};  // reading: what libpng said about a tRNS chunk, if anything
  bool storesAlpha = false;    // reading: the image has an alpha channel of its own
};

void PngOnError(png_structp png, png_const_charp message) {
  PngIo* io = static_cast<PngIo*>(png_get_error_ptr(png));
  std::snprintf(io->message, sizeof io->message, "%s", message);
  png_longjmp(png, 1);
}

// Warnings are about things libpng recovers from (an unknown or damaged ancillary chunk); the
// pixels are still right, and a library must not print.
void PngOnWarning(png_structp, png_const_charp) {}

constexpr png_uint_32 kPngTrns = png_uint_32{'t'} << 24 | png_uint_32{'R'} << 16 |
                                 png_uint_32{'N'} << 8 | png_uint_32{'S'};

// Of the ancillary chunks, tRNS alone is part of the pixels, and libpng drops one it cannot use (a
// bad checksum, a length wrong for the colour type, placed before PLTE or after the image data)
// with only a warning. Reading, that warning is kept for PngRefuseDroppedTrns.
void PngOnReadWarning(png_structp png, png_const_charp message) {
  PngIo* io = static_cast<PngIo*>(png_get_error_ptr(png));
  if (png_get_io_chunk_type(png) == kPngTrns && io->trnsWarning[0] == '\0') {
    std::snprintf(io->trnsWarning, sizeof io->trnsWarning, "%s", message);
  }
}

// A tRNS chunk that libpng warned about and did not take would silently turn transparent pixels
// opaque: the file is damaged. An image with an alpha channel of its own loses nothing.
void PngRefuseDroppedTrns(png_structp png, png_infop info) {
  const PngIo* io = static_cast<const PngIo*>(png_get_error_ptr(png));
  if (io->trnsWarning[0] != '\0' && !png_get_valid(png, info, PNG_INFO_tRNS) &&
      !io->storesAlpha) {
    png_error(png, io->trnsWarning);
  }
}

void PngReadBytes(png_structp png, png_bytep out, png_size_t length) {
  PngIo* io = static_cast<PngIo*>(png_get_io_ptr(png));
  if (std::fread(out, 1, length, io->file) != length) {
    if (std::ferror(io->file) != 0) {
      io->readFailed = true;
      png_error(png, "read error");
    }
    png_error(png, "the file ends early (truncated)");
  }
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
  int passes;  // 7 for an interlaced image, whose rows arrive in passes over the whole image
};

// Reads the header and sets up the transformations that deliver every PNG as RGBA of its own
// bit depth. No gamma or sBIT handling: the samples stay exactly as stored.
bool PngReadLayout(png_structp png, png_infop info, PngLayout* layout) {
  if (setjmp(png_jmpbuf(png))) return false;
  // Our own size limit decides, with its own error, instead of libpng's default one.
  png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
  // Every chunk but IHDR, PLTE, tRNS, IDAT and IEND is skipped unread: text, colour profiles and
  // the like do not change the samples, and a chunk's declared length (up to 2 GiB) must not
  // decide what is allocated.
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  png_read_info(png, info);
  const int colorType = png_get_color_type(png, info);
  static_cast<PngIo*>(png_get_error_ptr(png))->storesAlpha =
      (colorType & PNG_COLOR_MASK_ALPHA) != 0;
  PngRefuseDroppedTrns(png, info);
  layout->width = png_get_image_width(png, info);
  layout->height = png_get_image_height(png, info);
  if (layout->width > static_cast<png_uint_32>(kMaxImageDimension) ||
      layout->height > static_cast<png_uint_32>(kMaxImageDimension) ||
      std::int64_t{layout->width} * layout->height > kMaxImagePixels) {
    return true;  // the caller refuses the size before anything is allocated
  }
  png_set_expand(png);  // palette to RGB, gray below 8 bits to 8 bits, tRNS to an alpha channel
  if ((colorType & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(png);
  if ((colorType & PNG_COLOR_MASK_ALPHA) == 0 && !png_get_valid(png, info, PNG_INFO_tRNS)) {
    png_set_add_alpha(png, 0xFFFF, PNG_FILLER_AFTER);  // 8-bit images take the low byte, 255
  }
  layout->passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  layout->bitDepth = png_get_bit_depth(png, info);
  layout->rowBytes = png_get_rowbytes(png, info);
  return true;
}

bool PngReadRow(png_structp png, png_bytep row) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_row(png, row, nullptr);
  return true;
}

bool PngReadPixels(png_structp png, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  return true;
}

// A file cut after its image data is still a damaged file.
bool PngReadEnd(png_structp png, png_infop info) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_end(png, info);
  PngRefuseDroppedTrns(png, info);
  return true;
}

bool PngWriteStart(png_structp png, png_infop info, png_uint_32 width, png_uint_32 height,
                   int bitDepth) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, width, height, bitDepth, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  return true;
}

bool PngWriteRow(png_structp png, png_bytep row) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_write_row(png, row);
  return true;
}

bool PngWriteEnd(png_structp png, png_infop info) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_write_end(png, info);
  return true;
}

class PngReadStruct {
 public:
  explicit PngReadStruct(PngIo* io)
      : png_(png_create_read_struct(PNG_LIBPNG_VER_STRING, io, PngOnError, PngOnReadWarning)),
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
void StoreBigEndian16(std::uint16_t v, std::uint8_t* p) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v & 0xFF);
}

[[noreturn]] void FailPngRead(const std::string& path, const PngIo& io) {
  if (io.readFailed) Fail(ImageErrorKind::kUnreadable, path, "read error");
  Fail(ImageErrorKind::kCorrupt, path, std::string("damaged PNG: ") + io.message);
}

// bitDepth 8 or 16; fill(y, row) puts row y into `row` as it goes into the file (16-bit
// big-endian). One row is held at a time.
void WritePng(const std::string& path, int width, int height, int bitDepth,
              const std::function<void(int, std::uint8_t*)>& fill) {
  PendingFile out(path);
  PngIo io;
  io.fd = out.fd();
  {
    PngWriteStruct writer(&io);
    std::vector<std::uint8_t> row(std::size_t(width) * 4 * std::size_t(bitDepth / 8));
    bool ok = PngWriteStart(writer.png(), writer.info(), width, height, bitDepth);
    for (int y = 0; ok && y < height; ++y) {
      fill(y, row.data());
      ok = PngWriteRow(writer.png(), row.data());
    }
    if (!ok || !PngWriteEnd(writer.png(), writer.info())) {
      Fail(ImageErrorKind::kWriteFailed, path,
           io.writeErrno != 0 ? std::string(std::strerror(io.writeErrno)) : io.message);
    }
  }
  out.Commit();
}

// ---- OpenEXR ------------------------------------------------------------------------------------

// Reads the open input file for OpenEXR, remembering whether a failure was the file's end (a
// damaged file) or the reading itself (an unreadable one).
class FileIStream : public Imf::IStream {
 public:
  FileIStream(const std::string& name, std::FILE* file, std::uint64_t size)
      : Imf::IStream(name.c_str()), file_(file), size_(size) {}
  bool read(char out[], int n) override {
    if (n < 0 || position_ > size_ || std::uint64_t(n) > size_ - position_) {
      throw Iex::InputExc("the file ends early (truncated)");
    }
    if (std::fread(out, 1, std::size_t(n), file_) != std::size_t(n)) {
      if (std::ferror(file_) == 0) throw Iex::InputExc("the file ends early (truncated)");
      failed_ = true;
      throw Iex::InputExc("read error");
    }
    position_ += std::uint64_t(n);
    return position_ < size_;
  }
  std::uint64_t tellg() override { return position_; }
  void seekg(std::uint64_t position) override {
    if (position > size_ || ::fseeko(file_, off_t(position), SEEK_SET) != 0) {
      throw Iex::InputExc("the file ends early (truncated)");
    }
    position_ = position;
  }
  void clear() override { std::clearerr(file_); }
  bool failed() const { return failed_; }

 private:
  std::FILE* file_;
  std::uint64_t size_;
  std::uint64_t position_ = 0;
  bool failed_ = false;
};

// OpenEXR's C++ reader decodes a chunk that holds fewer bytes than its rows need, as stored or
// once decompressed, without a word: the rest of those rows keeps whatever its buffer held (zeros,
// or the samples of an earlier chunk). OpenEXR's core library tells: its decoder refuses a
// compressed chunk that does not expand to exactly the rows it covers, and it gives the size a
// chunk stored without compression must have. So before any pixel is read, the core library
// decompresses every chunk of the part to be read (of a tiled part, the full-resolution tiles),
// and the pixel data is decompressed twice. The core library of OpenEXR 3.1 cannot decompress
// DWAA and DWAB: files of those are read unchecked.
struct ExrCoreInput {
  int fd;
  std::uint64_t size;
  std::string message;  // the core library's first complaint
};

// The core library reads through the file's descriptor at the offsets it asks for, so the stream
// position of the C++ reader on the same file is left where it was.
std::int64_t ExrCoreRead(exr_const_context_t, void* input, void* buffer, std::uint64_t size,
                         std::uint64_t offset, exr_stream_error_func_ptr_t) {
  const int fd = static_cast<ExrCoreInput*>(input)->fd;
  std::uint64_t done = 0;
  while (done < size) {
    const ssize_t n =
        ::pread(fd, static_cast<char*>(buffer) + done, size - done, off_t(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += std::uint64_t(n);
  }
  return std::int64_t(done);
}

std::int64_t ExrCoreSize(exr_const_context_t, void* input) {
  return std::int64_t(static_cast<ExrCoreInput*>(input)->size);
}

// The core library reports damaged PIZ data as running out of memory; an allocation of its own
// that failed tells the two apart.
thread_local bool exrCoreAllocationFailed = false;
void* ExrCoreAllocate(std::size_t size) {
  void* memory = std::malloc(size);
  if (memory == nullptr) exrCoreAllocationFailed = true;
  return memory;
}

// A library must not print: the core library's first message about the chunk being checked is
// kept for the error instead.
void ExrCoreError(exr_const_context_t context, exr_result_t, const char* message) {
  void* input = nullptr;
  if (exr_get_user_data(context, &input) == EXR_ERR_SUCCESS && input != nullptr &&
      static_cast<ExrCoreInput*>(input)->message.empty()) {
    static_cast<ExrCoreInput*>(input)->message = message;
  }
}

class ExrCoreContext {
 public:
  ~ExrCoreContext() {
    if (started_) exr_decoding_destroy(context_, &pipeline_);
    if (context_ != nullptr) exr_finish(&context_);
  }
  exr_result_t Open(const std::string& path, ExrCoreInput* input) {
    exr_context_initializer_t init = EXR_DEFAULT_CONTEXT_INITIALIZER;
    init.error_handler_fn = ExrCoreError;
    init.alloc_fn = ExrCoreAllocate;
    init.free_fn = std::free;
    init.user_data = input;
    init.read_fn = ExrCoreRead;
    init.size_fn = ExrCoreSize;
    return exr_start_read(&context_, path.c_str(), &init);
  }
  // Reads and decompresses one chunk, unpacking nothing; one pipeline serves every chunk.
  exr_result_t Decode(int part, const exr_chunk_info_t& chunk) {
    exr_result_t result = EXR_ERR_SUCCESS;
    if (!started_) {
      started_ = true;
      result = exr_decoding_initialize(context_, part, &chunk, &pipeline_);
      if (result == EXR_ERR_SUCCESS) {
        result = exr_decoding_choose_default_routines(context_, part, &pipeline_);
      }
    } else {
      result = exr_decoding_update(context_, part, &chunk, &pipeline_);
    }
    return result == EXR_ERR_SUCCESS ? exr_decoding_run(context_, part, &pipeline_) : result;
  }
  exr_context_t get() const { return context_; }

 private:
  exr_context_t context_ = nullptr;
  exr_decode_pipeline_t pipeline_ = EXR_DECODE_PIPELINE_INITIALIZER;
  bool started_ = false;
};

// Fails with kCorrupt at the first chunk of `part` that does not hold its rows.
void CheckExrChunks(const std::string& path, int fd, std::uint64_t size, int part) {
  ExrCoreInput input{fd, size, {}};
  exrCoreAllocationFailed = false;
  ExrCoreContext core;
  auto fail = [&](exr_result_t result, const std::string& where) {
    if (exrCoreAllocationFailed) throw std::bad_alloc();
    Fail(ImageErrorKind::kCorrupt, path,
         "damaged OpenEXR file: " + where +
             (input.message.empty() ? exr_get_default_error_message(result) : input.message));
  };
  exr_result_t result = core.Open(path, &input);
  exr_storage_t storage = EXR_STORAGE_SCANLINE;
  if (result == EXR_ERR_SUCCESS) result = exr_get_storage(core.get(), part, &storage);
  if (result != EXR_ERR_SUCCESS) fail(result, "");
  exr_attr_box2i_t window{};
  exr_get_data_window(core.get(), part, &window);

  // False when the core library cannot decompress this compression.
  auto check = [&](const exr_chunk_info_t& chunk, const std::string& where) {
    input.message.clear();
    if (chunk.compression == EXR_COMPRESSION_NONE && chunk.packed_size < chunk.unpacked_size) {
      Fail(ImageErrorKind::kCorrupt, path,
           "damaged OpenEXR file: " + where + std::to_string(chunk.packed_size) +
               " bytes of pixel data where " + std::to_string(chunk.unpacked_size) +
               " are needed");
    }
    const exr_result_t decoded = core.Decode(part, chunk);
    if (decoded == EXR_ERR_FEATURE_NOT_IMPLEMENTED) return false;  // nothing can be told
    if (decoded != EXR_ERR_SUCCESS) fail(decoded, where);
    return true;
  };
  exr_chunk_info_t chunk{};
  if (storage == EXR_STORAGE_TILED) {
    std::int32_t tileWidth = 0, tileHeight = 0;
    result = exr_get_tile_sizes(core.get(), part, 0, 0, &tileWidth, &tileHeight);
    if (result != EXR_ERR_SUCCESS) fail(result, "");
    const std::int64_t width = std::int64_t{window.max.x} - window.min.x + 1;
    const std::int64_t height = std::int64_t{window.max.y} - window.min.y + 1;
    for (std::int64_t ty = 0; ty * tileHeight < height; ++ty) {
      for (std::int64_t tx = 0; tx * tileWidth < width; ++tx) {
        const std::string where =
            "tile " + std::to_string(tx) + ", " + std::to_string(ty) + ": ";
        result = exr_read_tile_chunk_info(core.get(), part, int(tx), int(ty), 0, 0, &chunk);
        if (result != EXR_ERR_SUCCESS) fail(result, where);
        if (!check(chunk, where)) return;
      }
    }
    return;
  }
  std::int32_t rowsPerChunk = 1;
  result = exr_get_scanlines_per_chunk(core.get(), part, &rowsPerChunk);
  if (result != EXR_ERR_SUCCESS) fail(result, "");
  for (std::int64_t y = window.min.y; y <= window.max.y; y += rowsPerChunk) {
    const std::string where = "the chunk of row " + std::to_string(y) + ": ";
    result = exr_read_scanline_chunk_info(core.get(), part, int(y), &chunk);
    if (result != EXR_ERR_SUCCESS) fail(result, where);
    if (!check(chunk, where)) return;
  }
}

// Writes into the pending file, under the output's name, which OpenEXR's messages quote.
// Imf::OutputFile writes its line-offset table from its destructor and swallows any exception
// there, so a failure is also remembered for the caller to check.
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

// Pixels pass through OpenEXR a band of rows at a time: 16 is the block of its default (zip)
// compression, so each band is whole blocks and no block is decompressed twice.
constexpr int kExrBandRows = 16;

bool HasColourChannels(const Imf::ChannelList& channels) {
  for (const char* name : {"R", "G", "B", "Y"}) {
    if (channels.findChannel(name) != nullptr) return true;
  }
  return false;
}

Imath::Box2i ToBox(const PixelBox& box) {
  return Imath::Box2i(Imath::V2i(box.minX, box.minY), Imath::V2i(box.maxX, box.maxY));
}
PixelBox FromBox(const Imath::Box2i& box) { return {box.min.x, box.min.y, box.max.x, box.max.y}; }

// fill(y, row) puts row y's width·4 floats into `row`; a band of rows is held at a time.
void WriteExr(const std::string& path, int width, int height,
              const std::optional<ExrWindows>& windows,
              const std::function<void(int, float*)>& fill) {
  Imath::Box2i data(Imath::V2i(0, 0), Imath::V2i(width - 1, height - 1));
  Imath::Box2i display = data;
  // The frame goes back where its source lay, as long as it is the source's size.
  if (windows && std::int64_t{windows->data.maxX} - windows->data.minX + 1 == width &&
      std::int64_t{windows->data.maxY} - windows->data.minY + 1 == height) {
    data = ToBox(windows->data);
    display = ToBox(windows->display);
  }
  PendingFile out(path);
  std::string failure;
  {
    FdOStream stream(out.fd(), path);
    try {
      Imf::Header header(display, data);
      for (const char* name : kRgbaChannelNames)
        header.channels().insert(name, Imf::Channel(Imf::FLOAT));
      Imf::OutputFile exr(stream, header);
      const int bandRows = std::min(kExrBandRows, height);
      const std::size_t rowSamples = std::size_t(width) * 4;
      std::vector<float> band(rowSamples * std::size_t(bandRows));
      const std::size_t xStride = 4 * sizeof(float);
      for (int top = 0; top < height; top += bandRows) {
        const int rows = std::min(bandRows, height - top);
        for (int r = 0; r < rows; ++r) fill(top + r, band.data() + std::size_t(r) * rowSamples);
        Imf::FrameBuffer frame;
        for (int c = 0; c < 4; ++c) {
          frame.insert(kRgbaChannelNames[c],
                       Imf::Slice::Make(Imf::FLOAT, band.data() + c,
                                        Imath::V2i(data.min.x, data.min.y + top), width, rows,
                                        xStride, xStride * std::size_t(width)));
        }
        exr.setFrameBuffer(frame);
        exr.writePixels(rows);
      }
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& e) {
      failure = e.what();
    }
    if (failure.empty() && stream.error() != 0) failure = std::strerror(stream.error());
  }
  if (!failure.empty()) Fail(ImageErrorKind::kWriteFailed, path, failure);
  out.Commit();
}

// ---- writing any scale --------------------------------------------------------------------------

void CheckWriteSize(const std::string& path, int width, int height) {
  if (width <= 0 || height <= 0 || width > kMaxImageDimension || height > kMaxImageDimension) {
    Fail(ImageErrorKind::kInvalidArgument, path,
         "cannot write an image of " + std::to_string(width) + " x " + std::to_string(height));
  }
}

// Samples of the scale From go out as 8-bit PNG when they are bytes, as 16-bit PNG otherwise, and
// as float OpenEXR; each row is converted as it is written.
template <typename From>
void WriteRowsAs(const std::string& path, int width, int height,
                 const RowFiller<typename From::Channel>& fill,
                 const std::optional<ExrWindows>& windows) {
  using T = typename From::Channel;
  const ImageFileType type = RequireFileType(path);
  CheckWriteSize(path, width, height);
  const std::size_t count = std::size_t(width) * 4;
  if (type == ImageFileType::kExr) {
    if constexpr (std::is_same_v<From, FloatScale>) {
      WriteExr(path, width, height, windows, fill);
    } else {
      std::vector<T> row(count);
      WriteExr(path, width, height, windows, [&](int y, float* out) {
        fill(y, row.data());
        ConvertRow<From, FloatScale>(row.data(), count, out);
      });
    }
  } else if constexpr (std::is_same_v<T, std::uint8_t>) {
    WritePng(path, width, height, 8, fill);
  } else {
    std::vector<T> row(count);
    WritePng(path, width, height, 16, [&](int y, std::uint8_t* packed) {
      fill(y, row.data());
      for (std::size_t i = 0; i < count; ++i) {
        StoreBigEndian16(ConvertChannel<From, Png16Scale>(row[i]), packed + 2 * i);
      }
    });
  }
}

template <typename From>
void WriteSamples(const std::string& path, int width, int height,
                  const std::vector<typename From::Channel>& rgba,
                  const std::optional<ExrWindows>& windows = std::nullopt) {
  RequireFileType(path);
  CheckWriteSize(path, width, height);
  if (rgba.size() != std::size_t(width) * std::size_t(height) * 4) {
    Fail(ImageErrorKind::kInvalidArgument, path,
         std::to_string(rgba.size()) + " samples given for a " + std::to_string(width) + " x " +
             std::to_string(height) + " RGBA image");
  }
  const std::size_t count = std::size_t(width) * 4;
  WriteRowsAs<From>(
      path, width, height,
      [&](int y, typename From::Channel* out) {
        std::copy_n(rgba.data() + std::size_t(y) * count, count, out);
      },
      windows);
}

}  // namespace

// ---- reading ------------------------------------------------------------------------------------

struct ImageReader::State {
  std::string path;
  ImageFileType type = ImageFileType::kPng;
  int width = 0;
  int height = 0;
  SampleKind kind = SampleKind::kPng8;
  std::optional<ExrWindows> windows;
  std::string part;
  bool read = false;
  // Declared in the order they depend on each other, so they are destroyed the other way round.
  InputHandle file;
  PngIo pngIo;
  std::unique_ptr<PngReadStruct> png;
  PngLayout pngLayout{};
  std::unique_ptr<FileIStream> stream;
  std::unique_ptr<Imf::MultiPartInputFile> exrFile;
  std::unique_ptr<Imf::InputPart> exrPart;
  bool exrGray = false;
};

namespace {

using RowSink = std::function<void(int y, const void* rgba)>;

// Reads `size` bytes at the start of the file; false if the file is shorter.
bool ReadStart(ImageReader::State& s, void* out, std::size_t size) {
  if (std::fread(out, 1, size, s.file.get()) == size) return true;
  if (std::ferror(s.file.get()) != 0) Fail(ImageErrorKind::kUnreadable, s.path, "read error");
  return false;
}

void OpenPng(ImageReader::State& s) {
  png_byte signature[8];
  if (!ReadStart(s, signature, sizeof signature) || png_sig_cmp(signature, 0, 8) != 0) {
    Fail(ImageErrorKind::kCorrupt, s.path, "not a PNG file");
  }
  s.pngIo.file = s.file.get();
  s.png = std::make_unique<PngReadStruct>(&s.pngIo);
  png_set_sig_bytes(s.png->png(), 8);
  if (!PngReadLayout(s.png->png(), s.png->info(), &s.pngLayout)) FailPngRead(s.path, s.pngIo);
  const PngLayout& layout = s.pngLayout;
  CheckDimensions(s.path, layout.width, layout.height);
  const std::size_t samplesPerRow = std::size_t{layout.width} * 4;
  const std::size_t bytesPerSample = layout.bitDepth == 16 ? 2 : 1;
  if ((layout.bitDepth != 8 && layout.bitDepth != 16) ||
      layout.rowBytes != samplesPerRow * bytesPerSample) {
    Fail(ImageErrorKind::kCorrupt, s.path, "unsupported PNG layout");
  }
  s.width = static_cast<int>(layout.width);
  s.height = static_cast<int>(layout.height);
  s.kind = layout.bitDepth == 8 ? SampleKind::kPng8 : SampleKind::kPng16;
}

void ReadPngRows(ImageReader::State& s, const RowSink& row) {
  png_structp png = s.png->png();
  const png_size_t rowBytes = s.pngLayout.rowBytes;
  std::vector<std::uint16_t> row16(s.kind == SampleKind::kPng16 ? std::size_t(s.width) * 4 : 0);
  auto deliver = [&](int y, const std::uint8_t* raw) {
    if (s.kind == SampleKind::kPng8) return row(y, raw);
    for (std::size_t i = 0; i < row16.size(); ++i) row16[i] = LoadBigEndian16(raw + 2 * i);
    row(y, row16.data());
  };
  if (s.pngLayout.passes > 1) {
    // An interlaced image completes no row before the last pass, so it is decoded whole.
    std::vector<std::uint8_t> pixels(rowBytes * std::size_t(s.height));
    std::vector<png_bytep> rows(std::size_t(s.height));
    for (int y = 0; y < s.height; ++y) rows[y] = &pixels[std::size_t(y) * rowBytes];
    if (!PngReadPixels(png, rows.data()) || !PngReadEnd(png, s.png->info())) {
      FailPngRead(s.path, s.pngIo);
    }
    for (int y = 0; y < s.height; ++y) deliver(y, rows[y]);
    return;
  }
  std::vector<std::uint8_t> raw(rowBytes);
  for (int y = 0; y < s.height; ++y) {
    if (!PngReadRow(png, raw.data())) FailPngRead(s.path, s.pngIo);
    deliver(y, raw.data());
  }
  if (!PngReadEnd(png, s.png->info())) FailPngRead(s.path, s.pngIo);
}

// Turns what OpenEXR threw into the file error it stands for.
[[noreturn]] void FailExrRead(const ImageReader::State& s, const std::exception& e) {
  if (s.stream && s.stream->failed()) Fail(ImageErrorKind::kUnreadable, s.path, "read error");
  Fail(ImageErrorKind::kCorrupt, s.path, std::string("damaged OpenEXR file: ") + e.what());
}

void OpenExr(ImageReader::State& s) {
  char magic[4];
  if (!ReadStart(s, magic, sizeof magic) || !Imf::isImfMagic(magic)) {
    Fail(ImageErrorKind::kCorrupt, s.path, "not an OpenEXR file");
  }
  struct stat info {};
  if (::fseeko(s.file.get(), 0, SEEK_SET) != 0 || ::fstat(::fileno(s.file.get()), &info) != 0) {
    Fail(ImageErrorKind::kUnreadable, s.path, std::string("cannot read: ") + std::strerror(errno));
  }
  try {
    s.stream = std::make_unique<FileIStream>(s.path, s.file.get(), std::uint64_t(info.st_size));
    s.exrFile = std::make_unique<Imf::MultiPartInputFile>(*s.stream);
    // The first flat part with colour: a multipart file may lead with depth or masks.
    const int parts = s.exrFile->parts();
    int chosen = -1;
    bool deep = false;
    for (int i = 0; i < parts && chosen < 0; ++i) {
      const Imf::Header& header = s.exrFile->header(i);
      if (header.hasType() && Imf::isDeepData(header.type())) {
        deep = true;
      } else if (HasColourChannels(header.channels())) {
        chosen = i;
      }
    }
    if (chosen < 0 && deep) {
      Fail(ImageErrorKind::kUnsupportedType, s.path,
           "a deep OpenEXR image (any number of samples per pixel); tavu-render reads only flat "
           "images");
    }
    if (chosen < 0) {
      Fail(ImageErrorKind::kUnsupportedType, s.path, "OpenEXR file without R, G, B or Y channels");
    }
    const Imf::Header& header = s.exrFile->header(chosen);
    if (parts > 1) {
      s.part = "part " + std::to_string(chosen + 1) + " of " + std::to_string(parts) +
               (header.hasName() ? " (\"" + TerminalText(header.name()) + "\")" : "");
    }
    const Imath::Box2i window = header.dataWindow();
    const std::int64_t width = std::int64_t{window.max.x} - window.min.x + 1;
    const std::int64_t height = std::int64_t{window.max.y} - window.min.y + 1;
    CheckDimensions(s.path, width, height);

    const Imf::ChannelList& channels = header.channels();
    const bool color = channels.findChannel("R") != nullptr ||
                       channels.findChannel("G") != nullptr || channels.findChannel("B") != nullptr;
    const bool chroma =
        channels.findChannel("RY") != nullptr || channels.findChannel("BY") != nullptr;
    if (!color && chroma) {
      Fail(ImageErrorKind::kUnsupportedType, s.path,
           "luminance/chroma OpenEXR files are not supported");
    }
    for (const char* name : {"R", "G", "B", "A", "Y"}) {
      const Imf::Channel* channel = channels.findChannel(name);
      if (channel != nullptr && (channel->xSampling != 1 || channel->ySampling != 1)) {
        Fail(ImageErrorKind::kUnsupportedType, s.path,
             std::string("subsampled channel ") + name + " is not supported");
      }
    }
    s.exrPart = std::make_unique<Imf::InputPart>(*s.exrFile, chosen);
    if (!s.exrPart->isComplete()) Fail(ImageErrorKind::kCorrupt, s.path, "incomplete OpenEXR file");
    CheckExrChunks(s.path, ::fileno(s.file.get()), std::uint64_t(info.st_size), chosen);

    s.width = static_cast<int>(width);
    s.height = static_cast<int>(height);
    s.kind = SampleKind::kExrFloat;
    s.exrGray = !color;
    s.windows = ExrWindows{FromBox(window), FromBox(header.displayWindow())};
  } catch (const ImageError&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    FailExrRead(s, e);
  }
}

void ReadExrRows(ImageReader::State& s, const RowSink& row) {
  const PixelBox& window = s.windows->data;
  const int bandRows = std::min(kExrBandRows, s.height);
  const std::size_t rowSamples = std::size_t(s.width) * 4;
  std::vector<float> band(rowSamples * std::size_t(bandRows));
  const std::size_t xStride = 4 * sizeof(float);
  for (int top = 0; top < s.height; top += bandRows) {
    const int rows = std::min(bandRows, s.height - top);
    const int fileTop = window.minY + top;  // within the data window, so no overflow
    try {
      Imf::FrameBuffer frame;
      // Missing colour channels read as 0 and a missing alpha as opaque.
      for (int c = 0; c < 4; ++c) {
        const char* name = s.exrGray && c == 0 ? "Y" : kRgbaChannelNames[c];
        if (s.exrGray && (c == 1 || c == 2)) continue;
        frame.insert(name, Imf::Slice::Make(Imf::FLOAT, band.data() + c,
                                            Imath::V2i(window.minX, fileTop), s.width, rows,
                                            xStride, xStride * std::size_t(s.width), 1, 1,
                                            c == 3 ? 1.0 : 0.0));
      }
      s.exrPart->setFrameBuffer(frame);
      s.exrPart->readPixels(fileTop, fileTop + rows - 1);
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& e) {
      FailExrRead(s, e);
    }
    for (int r = 0; r < rows; ++r) {
      float* samples = band.data() + std::size_t(r) * rowSamples;
      if (s.exrGray) {
        for (std::size_t i = 0; i < rowSamples; i += 4) {
          samples[i + 1] = samples[i + 2] = samples[i];
        }
      }
      row(top + r, samples);
    }
  }
}

template <typename T>
std::vector<T> ReadAllRows(ImageReader& reader) {
  const std::size_t rowSamples = std::size_t(reader.width()) * 4;
  std::vector<T> samples(rowSamples * std::size_t(reader.height()));
  reader.ReadRows([&](int y, const void* rgba) {
    std::memcpy(samples.data() + std::size_t(y) * rowSamples, rgba, rowSamples * sizeof(T));
  });
  return samples;
}

}  // namespace

ImageReader::ImageReader(const std::string& path) : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.path = path;
  s.type = RequireFileType(path);
  try {
    s.file.reset(OpenInput(path));
    if (s.type == ImageFileType::kPng) {
      OpenPng(s);
    } else {
      OpenExr(s);
    }
  } catch (const std::bad_alloc&) {
    Fail(ImageErrorKind::kOutOfMemory, path, "out of memory while reading");
  }
}

ImageReader::~ImageReader() = default;

int ImageReader::width() const { return state_->width; }
int ImageReader::height() const { return state_->height; }
SampleKind ImageReader::kind() const { return state_->kind; }
const std::optional<ExrWindows>& ImageReader::windows() const { return state_->windows; }
const std::string& ImageReader::part() const { return state_->part; }
std::int64_t ImageReader::wholeImageBytes() const {
  const State& s = *state_;
  if (s.type != ImageFileType::kPng || s.pngLayout.passes <= 1) return 0;
  return std::int64_t(s.pngLayout.rowBytes) * s.height;
}

void ImageReader::ReadRows(const std::function<void(int y, const void* rgba)>& row) {
  State& s = *state_;
  if (s.read) throw std::logic_error("ImageReader::ReadRows: the rows were read already");
  s.read = true;
  try {
    if (s.type == ImageFileType::kPng) {
      ReadPngRows(s, row);
    } else {
      ReadExrRows(s, row);
    }
  } catch (const std::bad_alloc&) {
    Fail(ImageErrorKind::kOutOfMemory, s.path, "out of memory while reading");
  }
}

std::optional<ImageFileType> ImageFileTypeFor(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension == ".png") return ImageFileType::kPng;
  if (extension == ".exr") return ImageFileType::kExr;
  return std::nullopt;
}

Image ReadImage(const std::string& path) {
  ImageReader reader(path);
  Image image;
  image.width = reader.width();
  image.height = reader.height();
  image.windows = reader.windows();
  try {
    switch (reader.kind()) {
      case SampleKind::kPng8: image.samples = ReadAllRows<std::uint8_t>(reader); break;
      case SampleKind::kPng16: image.samples = ReadAllRows<std::uint16_t>(reader); break;
      case SampleKind::kExrFloat: image.samples = ReadAllRows<float>(reader); break;
    }
  } catch (const std::bad_alloc&) {
    Fail(ImageErrorKind::kOutOfMemory, path, "out of memory while reading");
  }
  return image;
}

void RowToWorld8(SampleKind kind, const void* samples, std::size_t count, std::uint8_t* out) {
  ConvertKindRow<Png8Scale>(kind, samples, count, out);
}
void RowToWorld16(SampleKind kind, const void* samples, std::size_t count, std::uint16_t* out) {
  ConvertKindRow<World16Scale>(kind, samples, count, out);
}
void RowToWorld32(SampleKind kind, const void* samples, std::size_t count, float* out) {
  ConvertKindRow<FloatScale>(kind, samples, count, out);
}

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

void WriteWorldRows8(const std::string& path, int width, int height,
                     const RowFiller<std::uint8_t>& row,
                     const std::optional<ExrWindows>& windows) {
  WriteRowsAs<Png8Scale>(path, width, height, row, windows);
}
void WriteWorldRows16(const std::string& path, int width, int height,
                      const RowFiller<std::uint16_t>& row,
                      const std::optional<ExrWindows>& windows) {
  WriteRowsAs<World16Scale>(path, width, height, row, windows);
}
void WriteWorldRows32(const std::string& path, int width, int height, const RowFiller<float>& row,
                      const std::optional<ExrWindows>& windows) {
  WriteRowsAs<FloatScale>(path, width, height, row, windows);
}

void WriteImage(const std::string& path, const Image& image) {
  switch (image.kind()) {
    case SampleKind::kPng8:
      return WriteSamples<Png8Scale>(path, image.width, image.height,
                                     std::get<std::vector<std::uint8_t>>(image.samples),
                                     image.windows);
    case SampleKind::kPng16:
      return WriteSamples<Png16Scale>(path, image.width, image.height,
                                      std::get<std::vector<std::uint16_t>>(image.samples),
                                      image.windows);
    case SampleKind::kExrFloat:
      break;
  }
  WriteSamples<FloatScale>(path, image.width, image.height,
                           std::get<std::vector<float>>(image.samples), image.windows);
}

}  // namespace tavu::render
