// Image files: the file type a name asks for, reading through the format's decoder a row at a
// time, and writing worlds at any depth as PNG or OpenEXR with the exact channel conversions.

#include "tools/image_io.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <new>
#include <type_traits>

#include "tools/image_formats.h"
#include "tools/sample_scales.h"

namespace tavu::render {
namespace {

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
                 const std::optional<ExrWindows>& windows, int threads) {
  using T = typename From::Channel;
  const ImageFileType type = RequireFileType(path);
  CheckWriteSize(path, width, height);
  const std::size_t count = std::size_t(width) * 4;
  if (type == ImageFileType::kExr) {
    if constexpr (std::is_same_v<From, FloatScale>) {
      WriteExr(path, width, height, windows, fill, threads);
    } else {
      std::vector<T> row(count);
      WriteExr(
          path, width, height, windows,
          [&](int y, float* out) {
            fill(y, row.data());
            ConvertRow<From, FloatScale>(row.data(), count, out);
          },
          threads);
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
      windows, 0);
}

}  // namespace

// ---- reading ------------------------------------------------------------------------------------

struct ImageReader::State {
  std::string path;
  ImageFileType type = ImageFileType::kPng;
  bool read = false;
  // Declared in the order they depend on each other, so they are destroyed the other way round.
  InputHandle file;
  std::unique_ptr<FormatReader> format;
};

namespace {

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

ImageReader::ImageReader(const std::string& path, int threads) : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.path = path;
  s.type = RequireFileType(path);
  try {
    s.file.reset(OpenInput(path));
    s.format = s.type == ImageFileType::kPng ? OpenPngReader(path, s.file.get())
                                              : OpenExrReader(path, s.file.get(), threads);
  } catch (const std::bad_alloc&) {
    Fail(ImageErrorKind::kOutOfMemory, path, "out of memory while reading its header");
  }
}

ImageReader::~ImageReader() = default;

int ImageReader::width() const { return state_->format->width; }
int ImageReader::height() const { return state_->format->height; }
SampleKind ImageReader::kind() const { return state_->format->kind; }
const std::optional<ExrWindows>& ImageReader::windows() const { return state_->format->windows; }
const std::string& ImageReader::part() const { return state_->format->part; }
std::int64_t ImageReader::wholeImageBytes() const { return state_->format->wholeImageBytes(); }

void ImageReader::ReadRows(const std::function<void(int y, const void* rgba)>& row) {
  State& s = *state_;
  if (s.read) throw std::logic_error("ImageReader::ReadRows: the rows were read already");
  s.read = true;
  try {
    s.format->ReadRows(row);
  } catch (const std::bad_alloc&) {
    Fail(ImageErrorKind::kOutOfMemory, s.path, "out of memory while reading its pixels");
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
    Fail(ImageErrorKind::kOutOfMemory, path, "out of memory while reading its pixels");
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
                     const RowFiller<std::uint8_t>& row, const std::optional<ExrWindows>& windows,
                     int threads) {
  WriteRowsAs<Png8Scale>(path, width, height, row, windows, threads);
}
void WriteWorldRows16(const std::string& path, int width, int height,
                      const RowFiller<std::uint16_t>& row, const std::optional<ExrWindows>& windows,
                      int threads) {
  WriteRowsAs<World16Scale>(path, width, height, row, windows, threads);
}
void WriteWorldRows32(const std::string& path, int width, int height, const RowFiller<float>& row,
                      const std::optional<ExrWindows>& windows, int threads) {
  WriteRowsAs<FloatScale>(path, width, height, row, windows, threads);
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
