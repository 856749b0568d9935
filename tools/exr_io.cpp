// OpenEXR files through the OpenEXR C++ library: the first flat colour part of a file read as
// float RGBA, and worlds written as float RGBA with the source's windows.

#include <Iex.h>
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfInputPart.h>
#include <ImfMultiPartInputFile.h>
#include <ImfOutputFile.h>
#include <ImfPartType.h>
#include <ImfThreading.h>
#include <ImfVersion.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>
#include <thread>
#include <vector>

#include "hostsim/terminal_text.h"
#include "tools/atomic_file.h"
#include "tools/exr_chunk_check.h"
#include "tools/image_formats.h"

namespace tavu::render {

using hostsim::TerminalText;

namespace {

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

// Writes into the pending file, under the output's name, which OpenEXR's messages quote.
// Imf::OutputFile writes its line-offset table from its destructor and swallows any exception
// there, so a failure is also remembered for the caller to check. The blocks of pixels are
// counted as they pass, for the caller to tell whether OpenEXR wrote them all.
class FdOStream : public Imf::OStream {
 public:
  FdOStream(int fd, const std::string& name) : Imf::OStream(name.c_str()), fd_(fd) {}
  void write(const char data[], int n) override {
    if (errno_ == 0) errno_ = WriteAll(fd_, data, std::size_t(n));
    if (errno_ != 0) throw Iex::IoExc(std::strerror(errno_));
    CountBlocks(data, std::uint64_t(n));
    position_ += std::uint64_t(n);
  }
  // The blocks start here, one after another: each its first row and the size of its data, as
  // 4-byte little-endian integers, and then its data.
  void CountBlocksFrom(std::uint64_t position) { nextBlock_ = position; }
  std::int64_t blocks() const { return blocks_; }
  std::uint64_t tellp() override { return position_; }
  void seekp(std::uint64_t position) override {
    if (errno_ == 0 && ::lseek(fd_, off_t(position), SEEK_SET) < 0) errno_ = errno;
    if (errno_ != 0) throw Iex::IoExc(std::strerror(errno_));
    position_ = position;
  }
  int error() const { return errno_; }

 private:
  // Reads the headers of the blocks among the bytes written at the position; OpenEXR writes its
  // line-offset table elsewhere, before them.
  void CountBlocks(const char* data, std::uint64_t n) {
    for (std::uint64_t at = std::max(position_, nextBlock_);
         at < position_ + n && at - nextBlock_ < sizeof header_;) {
      header_[at - nextBlock_] = static_cast<unsigned char>(data[at - position_]);
      if (++at - nextBlock_ < sizeof header_) continue;
      const std::uint32_t size = header_[4] | header_[5] << 8 | header_[6] << 16 |
                                 std::uint32_t{header_[7]} << 24;
      nextBlock_ += sizeof header_ + size;
      ++blocks_;
      at = std::max(at, nextBlock_);
    }
  }

  int fd_;
  int errno_ = 0;
  std::uint64_t position_ = 0;
  std::uint64_t nextBlock_ = UINT64_MAX;  // none before CountBlocksFrom
  unsigned char header_[8] = {};
  std::int64_t blocks_ = 0;
};

constexpr const char* kRgbaChannelNames[4] = {"R", "G", "B", "A"};

// Pixels pass through OpenEXR a band of rows at a time, 16 rows for each thread: 16 is the block
// of its default (zip) compression, so each band is whole blocks and no block is decompressed
// twice, and each thread has a block of the band to decompress or compress.
constexpr int kExrBandRows = 16;

// The RGBA floats of a band of rows as they pass through OpenEXR, with the slices that point it at
// a band's place in the file.
class ExrBand {
 public:
  ExrBand(int width, int height, int threads)
      : width_(width),
        rows_(int(std::min<std::int64_t>(std::int64_t{kExrBandRows} * threads, height))),
        samples_(std::size_t(width) * 4 * std::size_t(rows_)) {}
  int rows() const { return rows_; }
  std::size_t rowSamples() const { return std::size_t(width_) * 4; }
  float* row(int r) { return samples_.data() + std::size_t(r) * rowSamples(); }
  // Channel c of `rows` rows whose first pixel lies at (x, y) in the file.
  Imf::Slice Slice(int c, int x, int y, int rows, double fill = 0.0) {
    const std::size_t xStride = 4 * sizeof(float);
    return Imf::Slice::Make(Imf::FLOAT, samples_.data() + c, Imath::V2i(x, y), width_, rows,
                            xStride, xStride * std::size_t(width_), 1, 1, fill);
  }

 private:
  int width_;
  int rows_;
  std::vector<float> samples_;
};

// The threads a file is decoded or encoded on: as many as asked for (0: one for each core), but
// no more than the cores, as more would gain nothing and each holds a block's buffers. OpenEXR
// compresses and decompresses blocks on a pool of threads of its own, sized here: the thread that
// calls it does all the file's reading and writing, and with one thread, all of the work.
int UseExrThreads(int threads) {
  const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
  const int used = threads <= 0 ? cores : std::min(threads, cores);
  const int pool = used > 1 ? used : 0;
  try {
    // The pool's threads, started here, keep the cleanup signals held back (tools/atomic_file.h).
    const CleanupSignalsHeld held;
    if (Imf::globalThreadCount() != pool) Imf::setGlobalThreadCount(pool);
  } catch (const std::exception&) {
    return 1;  // no threads to be had: the calling thread does the work
  }
  return used;
}

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

// Whether what OpenEXR threw says that memory ran out, not that the file is damaged or a write
// failed. OpenEXR tells it in words of its own: that it could not allocate its line buffers, the
// text of a std::bad_alloc that its thread pool caught and passed on, or that zlib failed to
// compress (OpenEXR hands zlib a valid level and more room than compressBound asks, so only
// memory for zlib's state can be wanting). It puts the text it caught last, after the file's name
// and what it was doing, so only the end of the message is looked at: elsewhere a message may
// quote the file's own text, such as a channel's name.
bool SaysOutOfMemory(std::string_view message) {
  for (std::string_view cause : {"Failed to allocate memory for scanline buffers", "std::bad_alloc",
                                 "Data compression (zlib) failed."}) {
    if (message.size() >= cause.size() &&
        message.substr(message.size() - cause.size()) == cause) {
      return true;
    }
  }
  return false;
}

class ExrReader : public FormatReader {
 public:
  ExrReader(const std::string& path, std::FILE* file, int threads)
      : path_(path), threads_(UseExrThreads(threads)) {
    char magic[4];
    if (!ReadStart(path, file, magic, sizeof magic) || !Imf::isImfMagic(magic)) {
      Fail(ImageErrorKind::kCorrupt, path, "not an OpenEXR file");
    }
    struct stat info {};
    if (::fseeko(file, 0, SEEK_SET) != 0 || ::fstat(::fileno(file), &info) != 0) {
      Fail(ImageErrorKind::kUnreadable, path, std::string("cannot read: ") + std::strerror(errno));
    }
    try {
      stream_ = std::make_unique<FileIStream>(path, file, std::uint64_t(info.st_size));
      file_ = std::make_unique<Imf::MultiPartInputFile>(*stream_, Imf::globalThreadCount());
      // The first flat part with colour: a multipart file may lead with depth or masks.
      const int parts = file_->parts();
      int chosen = -1;
      bool deep = false;
      for (int i = 0; i < parts && chosen < 0; ++i) {
        const Imf::Header& header = file_->header(i);
        if (header.hasType() && Imf::isDeepData(header.type())) {
          deep = true;
        } else if (HasColourChannels(header.channels())) {
          chosen = i;
        }
      }
      if (chosen < 0 && deep) {
        Fail(ImageErrorKind::kUnsupportedType, path,
             "a deep OpenEXR image (any number of samples per pixel); tavu-render reads only flat "
             "images");
      }
      if (chosen < 0) {
        Fail(ImageErrorKind::kUnsupportedType, path, "OpenEXR file without R, G, B or Y channels");
      }
      const Imf::Header& header = file_->header(chosen);
      if (parts > 1) {
        part = "part " + std::to_string(chosen + 1) + " of " + std::to_string(parts) +
               (header.hasName() ? " (\"" + TerminalText(header.name()) + "\")" : "");
      }
      const Imath::Box2i window = header.dataWindow();
      const std::int64_t width64 = std::int64_t{window.max.x} - window.min.x + 1;
      const std::int64_t height64 = std::int64_t{window.max.y} - window.min.y + 1;
      CheckDimensions(path, width64, height64);

      const Imf::ChannelList& channels = header.channels();
      const bool color = channels.findChannel("R") != nullptr ||
                         channels.findChannel("G") != nullptr ||
                         channels.findChannel("B") != nullptr;
      const bool chroma =
          channels.findChannel("RY") != nullptr || channels.findChannel("BY") != nullptr;
      if (!color && chroma) {
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
      part_ = std::make_unique<Imf::InputPart>(*file_, chosen);
      if (!part_->isComplete()) Fail(ImageErrorKind::kCorrupt, path, "incomplete OpenEXR file");
      fd_ = ::fileno(file);
      size_ = std::uint64_t(info.st_size);
      partIndex_ = chosen;

      width = static_cast<int>(width64);
      height = static_cast<int>(height64);
      kind = SampleKind::kExrFloat;
      gray_ = !color;
      windows = ExrWindows{FromBox(window), FromBox(header.displayWindow())};
    } catch (const ImageError&) {
      throw;
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& e) {
      FailRead(e);
    }
  }

  void ReadRows(const RowSink& row) override {
    // Checked here rather than with the header, so that the caller knows the frame's size (for
    // the message if memory runs out) before the chunks are decompressed; no pixel is read yet.
    const bool checked = CheckExrChunks(path_, fd_, size_, partIndex_, threads_);
    if (checked || threads_ == 1) {
      try {
        ReadBands(row, threads_);
        return;
      } catch (const ImageError& e) {
        if (threads_ == 1 || e.kind() != ImageErrorKind::kCorrupt) throw;
      }
    }
    // What OpenEXR's reader says of a damaged chunk, and what it leaves in rows that a chunk the
    // check cannot decompress (DWAA, DWAB) does not hold, depend on its number of threads. Read
    // from the top on one thread, exactly as with one thread asked for, the file gives the same
    // error or the same rows on every thread count; rows handed out already come again. Only a
    // file that fails, or one the check cannot decompress, pays for this.
    struct PoolBack {
      int threads;
      ~PoolBack() { UseExrThreads(threads); }
    } poolBack{threads_};
    UseExrThreads(1);
    try {
      part_.reset();
      file_.reset();
      stream_->seekg(0);
      file_ = std::make_unique<Imf::MultiPartInputFile>(*stream_, 0);
      part_ = std::make_unique<Imf::InputPart>(*file_, partIndex_);
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& e) {
      FailRead(e);
    }
    ReadBands(row, 1);
  }

 private:
  // Reads the rows from the top in bands of 16 rows for each of `threads`.
  void ReadBands(const RowSink& row, int threads) {
    const PixelBox& window = windows->data;
    ExrBand band(width, height, threads);
    const std::size_t rowSamples = band.rowSamples();
    for (int top = 0; top < height; top += band.rows()) {
      const int rows = std::min(band.rows(), height - top);
      const int fileTop = window.minY + top;  // within the data window, so no overflow
      try {
        Imf::FrameBuffer frame;
        // Missing colour channels read as 0 and a missing alpha as opaque.
        for (int c = 0; c < 4; ++c) {
          const char* name = gray_ && c == 0 ? "Y" : kRgbaChannelNames[c];
          if (gray_ && (c == 1 || c == 2)) continue;
          frame.insert(name, band.Slice(c, window.minX, fileTop, rows, c == 3 ? 1.0 : 0.0));
        }
        part_->setFrameBuffer(frame);
        part_->readPixels(fileTop, fileTop + rows - 1);
      } catch (const std::bad_alloc&) {
        throw;
      } catch (const std::exception& e) {
        FailRead(e);
      }
      for (int r = 0; r < rows; ++r) {
        float* samples = band.row(r);
        if (gray_) {
          for (std::size_t i = 0; i < rowSamples; i += 4) {
            samples[i + 1] = samples[i + 2] = samples[i];
          }
        }
        row(top + r, samples);
      }
    }
  }

  // Turns what OpenEXR threw into the file error it stands for. OpenEXR's messages quote the file
  // (a channel's name, say), so they are escaped as they enter the error.
  [[noreturn]] void FailRead(const std::exception& e) const {
    if (stream_ && stream_->failed()) Fail(ImageErrorKind::kUnreadable, path_, "read error");
    if (SaysOutOfMemory(e.what())) throw std::bad_alloc();
    Fail(ImageErrorKind::kCorrupt, path_, "damaged OpenEXR file: " + TerminalText(e.what()));
  }

  std::string path_;
  int threads_;
  // Declared in the order they depend on each other, so they are destroyed the other way round.
  std::unique_ptr<FileIStream> stream_;
  std::unique_ptr<Imf::MultiPartInputFile> file_;
  std::unique_ptr<Imf::InputPart> part_;
  int partIndex_ = 0;
  int fd_ = -1;
  std::uint64_t size_ = 0;
  bool gray_ = false;
};

}  // namespace

std::unique_ptr<FormatReader> OpenExrReader(const std::string& path, std::FILE* file, int threads) {
  return std::make_unique<ExrReader>(path, file, threads);
}

void WriteExr(const std::string& path, int width, int height,
              const std::optional<ExrWindows>& windows,
              const std::function<void(int, float*)>& fill, int threads) {
  Imath::Box2i data(Imath::V2i(0, 0), Imath::V2i(width - 1, height - 1));
  Imath::Box2i display = data;
  // The frame goes back where its source lay, as long as it is the source's size.
  if (windows && std::int64_t{windows->data.maxX} - windows->data.minX + 1 == width &&
      std::int64_t{windows->data.maxY} - windows->data.minY + 1 == height) {
    data = ToBox(windows->data);
    display = ToBox(windows->display);
  }
  PendingFile out(path);
  const int used = UseExrThreads(threads);
  std::string failure;
  {
    FdOStream stream(out.fd(), path);
    try {
      Imf::Header header(display, data);
      for (const char* name : kRgbaChannelNames)
        header.channels().insert(name, Imf::Channel(Imf::FLOAT));
      Imf::OutputFile exr(stream, header, Imf::globalThreadCount());
      stream.CountBlocksFrom(stream.tellp());
      ExrBand band(width, height, used);
      for (int top = 0; top < height; top += band.rows()) {
        const int rows = std::min(band.rows(), height - top);
        for (int r = 0; r < rows; ++r) fill(top + r, band.row(r));
        Imf::FrameBuffer frame;
        for (int c = 0; c < 4; ++c) {
          frame.insert(kRgbaChannelNames[c], band.Slice(c, data.min.x, data.min.y + top, rows));
        }
        exr.setFrameBuffer(frame);
        exr.writePixels(rows);
        // When compressing a block fails on its thread pool, OpenEXR takes the block for one
        // still being filled: it may return without a word, the block unwritten, and would
        // later read rows for it outside the band it is given. A block fails to compress only
        // when zlib has no memory (see SaysOutOfMemory), so a block missing is memory. The
        // blocks are zip's, of kExrBandRows rows.
        if (stream.blocks() != (top + rows + kExrBandRows - 1) / kExrBandRows) {
          throw std::bad_alloc();
        }
      }
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& e) {
      // Told as memory, which the caller reports with the frame's size; the earlier output
      // stays, as with any failure here.
      if (SaysOutOfMemory(e.what())) throw std::bad_alloc();
      failure = e.what();
    }
    if (failure.empty() && stream.error() != 0) failure = std::strerror(stream.error());
  }
  if (!failure.empty()) Fail(ImageErrorKind::kWriteFailed, path, failure);
  out.Commit();
}

}  // namespace tavu::render
