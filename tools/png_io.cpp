// PNG files through libpng: every PNG read as RGBA samples of its own bit depth, and worlds
// written as 8- or 16-bit RGBA.

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "hostsim/terminal_text.h"
#include "tools/atomic_file.h"
#include "tools/image_formats.h"

namespace tavu::render {

using hostsim::TerminalText;

namespace {

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
void PngRefuseDroppedTrns(png_structp png, png_infop info, const PngIo& io) {
  if (io.trnsWarning[0] != '\0' && !png_get_valid(png, info, PNG_INFO_tRNS) && !io.storesAlpha) {
    png_error(png, io.trnsWarning);
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
bool PngReadLayout(png_structp png, png_infop info, PngIo* io, PngLayout* layout) {
  if (setjmp(png_jmpbuf(png))) return false;
  // Our own size limit decides, with its own error, instead of libpng's default one.
  png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
  // Every chunk but IHDR, PLTE, tRNS, IDAT and IEND is skipped unread: text, colour profiles and
  // the like do not change the samples, and a chunk's declared length (up to 2 GiB) must not
  // decide what is allocated.
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  png_read_info(png, info);
  const int colorType = png_get_color_type(png, info);
  io->storesAlpha = (colorType & PNG_COLOR_MASK_ALPHA) != 0;
  PngRefuseDroppedTrns(png, info, *io);
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
bool PngReadEnd(png_structp png, png_infop info, const PngIo& io) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_end(png, info);
  PngRefuseDroppedTrns(png, info, io);
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
    if (info_ == nullptr) {
      png_destroy_read_struct(&png_, nullptr, nullptr);
      throw std::bad_alloc();
    }
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

// StoreBigEndian16 read back.
std::uint16_t LoadBigEndian16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

[[noreturn]] void FailPngRead(const std::string& path, const PngIo& io) {
  if (io.readFailed) Fail(ImageErrorKind::kUnreadable, path, "read error");
  // libpng's messages may quote the file (a chunk's name), so they are escaped as they enter.
  Fail(ImageErrorKind::kCorrupt, path, "damaged PNG: " + TerminalText(io.message));
}

class PngReader : public FormatReader {
 public:
  PngReader(const std::string& path, std::FILE* file) : path_(path) {
    png_byte signature[8];
    if (!ReadStart(path, file, signature, sizeof signature) ||
        png_sig_cmp(signature, 0, 8) != 0) {
      Fail(ImageErrorKind::kCorrupt, path, "not a PNG file");
    }
    io_.file = file;
    png_ = std::make_unique<PngReadStruct>(&io_);
    png_set_sig_bytes(png_->png(), 8);
    if (!PngReadLayout(png_->png(), png_->info(), &io_, &layout_)) FailPngRead(path, io_);
    CheckDimensions(path, layout_.width, layout_.height);
    const std::size_t samplesPerRow = std::size_t{layout_.width} * 4;
    const std::size_t bytesPerSample = layout_.bitDepth == 16 ? 2 : 1;
    if ((layout_.bitDepth != 8 && layout_.bitDepth != 16) ||
        layout_.rowBytes != samplesPerRow * bytesPerSample) {
      Fail(ImageErrorKind::kCorrupt, path, "unsupported PNG layout");
    }
    width = static_cast<int>(layout_.width);
    height = static_cast<int>(layout_.height);
    kind = layout_.bitDepth == 8 ? SampleKind::kPng8 : SampleKind::kPng16;
  }

  std::int64_t wholeImageBytes() const override {
    return layout_.passes > 1 ? std::int64_t(layout_.rowBytes) * height : 0;
  }

  void ReadRows(const RowSink& row) override {
    png_structp png = png_->png();
    const png_size_t rowBytes = layout_.rowBytes;
    std::vector<std::uint16_t> row16(kind == SampleKind::kPng16 ? std::size_t(width) * 4 : 0);
    auto deliver = [&](int y, const std::uint8_t* raw) {
      if (kind == SampleKind::kPng8) return row(y, raw);
      for (std::size_t i = 0; i < row16.size(); ++i) row16[i] = LoadBigEndian16(raw + 2 * i);
      row(y, row16.data());
    };
    if (layout_.passes > 1) {
      // An interlaced image completes no row before the last pass, so it is decoded whole.
      std::vector<std::uint8_t> pixels(rowBytes * std::size_t(height));
      std::vector<png_bytep> rows(static_cast<std::size_t>(height));
      for (int y = 0; y < height; ++y) rows[y] = &pixels[std::size_t(y) * rowBytes];
      if (!PngReadPixels(png, rows.data()) || !PngReadEnd(png, png_->info(), io_)) {
        FailPngRead(path_, io_);
      }
      for (int y = 0; y < height; ++y) deliver(y, rows[y]);
      return;
    }
    std::vector<std::uint8_t> raw(rowBytes);
    for (int y = 0; y < height; ++y) {
      if (!PngReadRow(png, raw.data())) FailPngRead(path_, io_);
      deliver(y, raw.data());
    }
    if (!PngReadEnd(png, png_->info(), io_)) FailPngRead(path_, io_);
  }

 private:
  std::string path_;
  // Declared in the order they depend on each other, so they are destroyed the other way round.
  PngIo io_;
  std::unique_ptr<PngReadStruct> png_;
  PngLayout layout_{};
};

}  // namespace

std::unique_ptr<FormatReader> OpenPngReader(const std::string& path, std::FILE* file) {
  return std::make_unique<PngReader>(path, file);
}

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

}  // namespace tavu::render
