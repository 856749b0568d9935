// Image files: lossless round trips, every PNG colour type, the exact world conversions at their
// rounding edges, typed errors for bad files and no output left behind by a failed write.
//
// Expected values are literals worked out by hand or with exact rational arithmetic, or checked
// by an independent property (round half up: 2·|v·N - q·D| <= D, ties upward; a float quotient
// is the nearest float). PNG inputs of other colour types are made here with libpng directly and
// OpenEXR inputs with OpenEXR directly, not with the code under test.

#include <ImfChannelList.h>
#include <ImfDoubleAttribute.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <half.h>
#include <png.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <set>
#include <variant>

#include "tests/support/float_bits.h"
#include "tests/tools/raw_png.h"
#include "tools/image_io.h"

namespace fs = std::filesystem;
using namespace tavu::render;

namespace {

using tavu::testing::Bits;
using tavu::testing::FromBits;
using tavu::testing::RawPng;
using tavu::testing::WriteRawPng;
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

class ImageIo : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tavu_image_io_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::set<std::string> Listing() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.insert(entry.path().filename());
    return names;
  }
  void WriteBytes(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    std::ofstream(Path(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
  std::vector<std::uint8_t> ReadBytes(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  fs::path dir_;
};

template <typename T>
Image MakeImage(int width, int height, std::vector<T> samples) {
  Image image;
  image.width = width;
  image.height = height;
  image.samples = std::move(samples);
  return image;
}

using Bytes = std::vector<std::uint8_t>;

Bytes BigEndian32(std::uint32_t v) {
  return {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)};
}

// A hand-made PNG chunk. `length` overrides the stored length field and `crcXor` damages the
// checksum.
struct PngChunk {
  const char* type;
  Bytes data;
  std::optional<std::uint32_t> length = std::nullopt;
  std::uint32_t crcXor = 0;
};

// The signature followed by the chunks as stored, each with its checksum.
Bytes PngOfChunks(const std::vector<PngChunk>& chunks) {
  Bytes bytes = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  for (const PngChunk& chunk : chunks) {
    Bytes body(chunk.type, chunk.type + 4);
    body.insert(body.end(), chunk.data.begin(), chunk.data.end());
    const std::uint32_t crc = std::uint32_t(crc32(0, body.data(), uInt(body.size())));
    for (const Bytes& part : {BigEndian32(chunk.length.value_or(std::uint32_t(chunk.data.size()))),
                              body, BigEndian32(crc ^ chunk.crcXor)}) {
      bytes.insert(bytes.end(), part.begin(), part.end());
    }
  }
  return bytes;
}

PngChunk Ihdr(std::uint32_t width, std::uint32_t height, std::uint8_t colourType) {
  Bytes data = BigEndian32(width);
  for (std::uint8_t b : BigEndian32(height)) data.push_back(b);
  data.insert(data.end(), {8, colourType, 0, 0, 0});  // 8 bits, not interlaced
  return {"IHDR", data};
}

// Image data of the given filtered rows, compressed as zlib does.
PngChunk Idat(const Bytes& rows) {
  Bytes data(compressBound(uLong(rows.size())));
  uLongf size = uLongf(data.size());
  compress(data.data(), &size, rows.data(), uLong(rows.size()));
  data.resize(size);
  return {"IDAT", data};
}

// An 8-bit RGBA image of the given size with a few bytes of image data.
Bytes PngOfSize(std::uint32_t width, std::uint32_t height) {
  return PngOfChunks({Ihdr(width, height, 6), {"IDAT", {0x78, 0x9C, 0x03, 0x00}}, {"IEND", {}}});
}

// Compares samples bit for bit, so NaN payloads and -0 count.
void ExpectSameSamples(const Image& expected, const Image& actual) {
  ASSERT_EQ(expected.kind(), actual.kind());
  EXPECT_EQ(expected.width, actual.width);
  EXPECT_EQ(expected.height, actual.height);
  if (expected.kind() == SampleKind::kExrFloat) {
    const auto& e = std::get<std::vector<float>>(expected.samples);
    const auto& a = std::get<std::vector<float>>(actual.samples);
    ASSERT_EQ(e.size(), a.size());
    for (std::size_t i = 0; i < e.size(); ++i) EXPECT_EQ(Bits(e[i]), Bits(a[i])) << "sample " << i;
  } else {
    EXPECT_EQ(expected.samples, actual.samples);
  }
}

TEST_F(ImageIo, EachKindReadsBackBitForBit) {
  const struct {
    const char* name;
    Image image;
  } cases[] = {
      {"rgba8.png",
       MakeImage<std::uint8_t>(3, 2, {0, 1, 2, 3, 127, 128, 129, 0,  255, 254, 253, 252,
                                      9, 8, 7, 6, 50,  60,  70,  80, 200, 100, 0,   255})},
      // 0x1234 and 0x3412 tell a byte-order mistake apart.
      {"rgba16.png", MakeImage<std::uint16_t>(2, 1, {0, 1, 0x1234, 0x3412, 65535, 32768, 257, 0})},
      {"float.exr",
       MakeImage<float>(2, 2,
                        {kNaN, -0.0f, kInf, -kInf, FromBits(1), -3.5f, 1e30f, 0.5f,
                         FromBits(0x7FC00123), 1.0f, 2.0f, -1e-3f, 0.0f, 0.0f, 0.0f, 0.0f})},
      {"UPPER.EXR", MakeImage<float>(1, 1, {0.25f, 4.0f, -2.0f, 0.75f})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteImage(Path(c.name), c.image);
    ExpectSameSamples(c.image, ReadImage(Path(c.name)));
  }
}

TEST_F(ImageIo, EveryPngColourTypeBecomesRgba) {
  using U8 = std::vector<std::uint8_t>;
  const struct {
    const char* name;
    RawPng png;
    Image expected;
  } cases[] = {
      {"gray8",
       {2, 1, PNG_COLOR_TYPE_GRAY, 8, false, {U8{0, 200}}},
       MakeImage<std::uint8_t>(2, 1, {0, 0, 0, 255, 200, 200, 200, 255})},
      {"gray16",
       {2, 1, PNG_COLOR_TYPE_GRAY, 16, false, {U8{0x01, 0x02, 0xFF, 0xFF}}},
       MakeImage<std::uint16_t>(2, 1, {0x0102, 0x0102, 0x0102, 65535, 65535, 65535, 65535, 65535})},
      // 2-bit gray 1 and 3 (packed 01 11 ....) scale to the full 8-bit range.
      {"gray2",
       {2, 1, PNG_COLOR_TYPE_GRAY, 2, false, {U8{0x70}}},
       MakeImage<std::uint8_t>(2, 1, {85, 85, 85, 255, 255, 255, 255, 255})},
      {"gray8 tRNS",
       {2, 1, PNG_COLOR_TYPE_GRAY, 8, false, {U8{200, 7}}, {}, {}, 200},
       MakeImage<std::uint8_t>(2, 1, {200, 200, 200, 0, 7, 7, 7, 255})},
      {"gray+alpha8",
       {2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, {U8{10, 20, 30, 40}}},
       MakeImage<std::uint8_t>(2, 1, {10, 10, 10, 20, 30, 30, 30, 40})},
      {"gray+alpha16",
       {1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 16, false, {U8{0x11, 0x22, 0x33, 0x44}}},
       MakeImage<std::uint16_t>(1, 1, {0x1122, 0x1122, 0x1122, 0x3344})},
      {"rgb8",
       {1, 2, PNG_COLOR_TYPE_RGB, 8, false, {U8{1, 2, 3}, U8{4, 5, 6}}},
       MakeImage<std::uint8_t>(1, 2, {1, 2, 3, 255, 4, 5, 6, 255})},
      {"rgb16",
       {1, 1, PNG_COLOR_TYPE_RGB, 16, false, {U8{1, 2, 3, 4, 5, 6}}},
       MakeImage<std::uint16_t>(1, 1, {0x0102, 0x0304, 0x0506, 65535})},
      {"palette8 tRNS",
       {2, 1, PNG_COLOR_TYPE_PALETTE, 8, false, {U8{1, 0}}, {{10, 20, 30}, {40, 50, 60}}, {128}},
       MakeImage<std::uint8_t>(2, 1, {40, 50, 60, 255, 10, 20, 30, 128})},
      {"palette4",
       {2, 1, PNG_COLOR_TYPE_PALETTE, 4, false, {U8{0x21}}, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}},
       MakeImage<std::uint8_t>(2, 1, {7, 8, 9, 255, 4, 5, 6, 255})},
      // Adam7 stores these pixels out of order; they must come back in place.
      {"rgba8 interlaced",
       {3, 3, PNG_COLOR_TYPE_RGB_ALPHA, 8, true,
        {U8{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
         U8{13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24},
         U8{25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36}}},
       MakeImage<std::uint8_t>(3, 3, {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15,
                                      16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30,
                                      31, 32, 33, 34, 35, 36})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteRawPng(Path("in.png"), c.png);
    ExpectSameSamples(c.expected, ReadImage(Path("in.png")));
  }
}

// An OpenEXR file with the named channels, each holding value(channel, pixel index), written with
// the given compression and the header's attributes amended.
void WriteRawExr(const std::string& path, Imath::Box2i window,
                 const std::vector<std::pair<const char*, Imf::PixelType>>& channels,
                 const std::function<float(int, int)>& value,
                 Imf::Compression compression = Imf::ZIP_COMPRESSION,
                 const std::function<void(Imf::Header&)>& amend = {}) {
  Imf::Header header(Imath::Box2i({0, 0}, {15, 15}), window);
  header.compression() = compression;
  if (amend) amend(header);
  const int width = window.max.x - window.min.x + 1;
  const int height = window.max.y - window.min.y + 1;
  std::vector<std::vector<half>> halves;
  std::vector<std::vector<float>> floats;
  for (const auto& [name, type] : channels) header.channels().insert(name, Imf::Channel(type));
  Imf::OutputFile file(path.c_str(), header);
  Imf::FrameBuffer frame;
  for (std::size_t c = 0; c < channels.size(); ++c) {
    halves.emplace_back(width * height);
    floats.emplace_back(width * height);
    for (int i = 0; i < width * height; ++i) {
      halves.back()[i] = half(value(int(c), i));
      floats.back()[i] = value(int(c), i);
    }
    const bool isHalf = channels[c].second == Imf::HALF;
    const char* base = isHalf ? reinterpret_cast<const char*>(halves.back().data())
                              : reinterpret_cast<const char*>(floats.back().data());
    const std::size_t size = isHalf ? sizeof(half) : sizeof(float);
    frame.insert(channels[c].first,
                 Imf::Slice::Make(channels[c].second, base, window, size, size * width));
  }
  file.setFrameBuffer(frame);
  file.writePixels(height);
}

// The OpenEXR file with its data window one column (xMax) or one row (yMax) larger than the
// pixels it stores: the low byte of that bound, past the attribute's name, type and size.
enum class Bound { kXMax = 8, kYMax = 12 };
Bytes WithLargerWindow(Bytes exr, Bound bound) {
  const std::string key("dataWindow\0box2i\0", 17);
  const auto at = std::search(exr.begin(), exr.end(), key.begin(), key.end());
  EXPECT_TRUE(at != exr.end()) << "no data window";
  if (at != exr.end()) at[std::ptrdiff_t(key.size()) + 4 + int(bound)] += 1;
  return exr;
}

// The kind of the error reading the file fails with; `message` receives its message.
ImageErrorKind ReadErrorKind(const std::string& path, std::string* message = nullptr) {
  try {
    ReadImage(path);
  } catch (const ImageError& e) {
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    if (message != nullptr) *message = e.what();
    return e.kind();
  }
  ADD_FAILURE() << path << " was read without an error";
  return ImageErrorKind::kInvalidArgument;
}

TEST_F(ImageIo, ExrHalfGrayAndOffsetWindowsReadAsFloatRgba) {
  // Half 0.1 is 0.0999755859375 and 65504 the largest half; both exact in float.
  const float values[] = {0.5f, -2.0f, 0.1f, 65504.0f};
  auto value = [&values](int c, int i) { return values[(c + i) % 4]; };

  WriteRawExr(Path("y.exr"), Imath::Box2i({0, 0}, {1, 0}), {{"Y", Imf::HALF}}, value);
  ExpectSameSamples(MakeImage<float>(2, 1, {0.5f, 0.5f, 0.5f, 1.0f, -2.0f, -2.0f, -2.0f, 1.0f}),
                    ReadImage(Path("y.exr")));

  // No A: opaque. The data window starts at (5, 7); pixels still start at sample 0, and the
  // windows come along to place a render of the image where it came from.
  WriteRawExr(Path("rgb.exr"), Imath::Box2i({5, 7}, {6, 7}),
              {{"R", Imf::HALF}, {"G", Imf::FLOAT}, {"B", Imf::HALF}}, value);
  const Image rgb = ReadImage(Path("rgb.exr"));
  ExpectSameSamples(
      MakeImage<float>(2, 1, {0.5f, -2.0f, 0.0999755859375f, 1.0f, -2.0f, 0.1f, 65504.0f, 1.0f}),
      rgb);
  ASSERT_TRUE(rgb.windows.has_value());
  const PixelBox& data = rgb.windows->data;
  const PixelBox& display = rgb.windows->display;
  EXPECT_EQ(std::vector<int>({data.minX, data.minY, data.maxX, data.maxY}),
            std::vector<int>({5, 7, 6, 7}));
  EXPECT_EQ(std::vector<int>({display.minX, display.minY, display.maxX, display.maxY}),
            std::vector<int>({0, 0, 15, 15}));

  WriteRawExr(Path("alpha.exr"), Imath::Box2i({0, 0}, {0, 0}), {{"A", Imf::FLOAT}}, value);
  EXPECT_EQ(ReadErrorKind(Path("alpha.exr")), ImageErrorKind::kUnsupportedType);
}

// The reader decodes OpenEXR in bands of 16 rows for each thread; ZIP stores blocks of 16 rows and
// PIZ of 32, so 45 rows from y = 5 make bands that end inside PIZ blocks (of 16 rows on one thread,
// of 48 on three) and a short last band. Every sample is a different bit pattern, NaN payloads
// included.
TEST_F(ImageIo, ExrOfSeveralBandsReadsBackBitForBit) {
  const Imath::Box2i window({-3, 5}, {8, 49});
  const int width = 12, height = 45;
  auto value = [](int c, int i) {
    return FromBits(0x7F800001u + std::uint32_t(i * 4 + c) * 2654435761u);
  };
  std::vector<float> samples;
  for (int i = 0; i < width * height; ++i) {
    for (int c = 0; c < 4; ++c) samples.push_back(value(c, i));
  }
  const Image expected = MakeImage<float>(width, height, samples);
  for (const Imf::Compression compression : {Imf::ZIP_COMPRESSION, Imf::PIZ_COMPRESSION}) {
    SCOPED_TRACE(int(compression));
    WriteRawExr(Path("bands.exr"), window,
                {{"R", Imf::FLOAT}, {"G", Imf::FLOAT}, {"B", Imf::FLOAT}, {"A", Imf::FLOAT}},
                value, compression);
    const Image read = ReadImage(Path("bands.exr"));
    ExpectSameSamples(expected, read);
    for (const int threads : {1, 3}) {
      SCOPED_TRACE(threads);
      ImageReader reader(Path("bands.exr"), threads);
      std::vector<float> rows;
      reader.ReadRows([&](int, const void* rgba) {
        const float* row = static_cast<const float*>(rgba);
        rows.insert(rows.end(), row, row + 4 * width);
      });
      ExpectSameSamples(expected, MakeImage<float>(width, height, rows));
    }
    ASSERT_TRUE(read.windows.has_value());
    const PixelBox& data = read.windows->data;
    EXPECT_EQ(std::vector<int>({data.minX, data.minY, data.maxX, data.maxY}),
              std::vector<int>({-3, 5, 8, 49}));
  }
}

// What OpenEXR's reader says of a chunk that the check lets through, and what it leaves in rows
// that a DWAA chunk does not hold, depend on its threads: such a file is read as on one thread
// whatever the thread count, to the same error or the same samples.
TEST_F(ImageIo, DamagedExrReadsAlikeOnEveryThreadCount) {
  const std::vector<std::pair<const char*, Imf::PixelType>> rgba = {
      {"R", Imf::HALF}, {"G", Imf::HALF}, {"B", Imf::HALF}, {"A", Imf::HALF}};
  auto value = [](int c, int i) { return float(std::uint32_t(i * 4 + c) * 2654435761u % 1000); };
  // B44 chunks of 32 rows, the first saying it holds one byte more than it does.
  WriteRawExr(Path("b44.exr"), Imath::Box2i({0, 0}, {63, 255}), rgba, value, Imf::B44_COMPRESSION);
  Bytes longChunk = ReadBytes("b44.exr");
  std::uint64_t first = 0;  // the offset table's first entry, pointing just past the table's 8
  for (std::size_t table = 0;; ++table) {
    ASSERT_LE(table + 8, longChunk.size());
    std::memcpy(&first, &longChunk[table], sizeof first);
    if (first == table + 8 * 8) break;
  }
  std::int32_t size = 0;  // the first chunk's, after its row
  std::memcpy(&size, &longChunk[first + 4], sizeof size);
  ++size;
  std::memcpy(&longChunk[first + 4], &size, sizeof size);
  // A data window one row taller than the rows stored.
  WriteRawExr(Path("dwaa.exr"), Imath::Box2i({0, 0}, {96, 81}), rgba, value, Imf::DWAA_COMPRESSION);
  const Bytes taller = WithLargerWindow(ReadBytes("dwaa.exr"), Bound::kYMax);

  // The samples as ReadImage keeps them, or the error.
  auto outcome = [this](const char* name, int threads) {
    try {
      ImageReader reader(Path(name), threads);
      const std::size_t rowBytes = std::size_t(reader.width()) * 4 * sizeof(float);
      std::string samples(rowBytes * std::size_t(reader.height()), '\0');
      reader.ReadRows([&](int y, const void* row) {
        std::memcpy(&samples[std::size_t(y) * rowBytes], row, rowBytes);
      });
      return samples;
    } catch (const ImageError& e) {
      return std::string(e.what());
    }
  };
  for (const auto& [name, bytes] :
       {std::pair("b44_long_chunk.exr", longChunk), std::pair("dwaa_taller.exr", taller)}) {
    WriteBytes(name, bytes);
    const std::string once = outcome(name, 1);
    for (const int threads : {2, 3, 8}) {
      const std::string got = outcome(name, threads);
      EXPECT_TRUE(got == once) << name << " on " << threads
                               << " threads: " << (got.size() < 1000 ? got : "other samples");
    }
  }
}

enum class Depth { k8, k16, k32 };

// The world values of all the image's samples, through RowToWorld8/16/32.
template <typename T>
std::vector<T> ToWorld(const Image& image,
                       void (*convert)(SampleKind, const void*, std::size_t, T*)) {
  const void* samples =
      std::visit([](const auto& v) -> const void* { return v.data(); }, image.samples);
  std::vector<T> world(std::size_t(image.width) * std::size_t(image.height) * 4);
  convert(image.kind(), samples, world.size(), world.data());
  return world;
}

std::vector<std::uint32_t> WorldIntegers(const Image& image, Depth depth) {
  if (depth == Depth::k8) {
    const auto w = ToWorld(image, RowToWorld8);
    return {w.begin(), w.end()};
  }
  const auto w = ToWorld(image, RowToWorld16);
  return {w.begin(), w.end()};
}

Image SourceImage(SampleKind kind, const std::vector<float>& values) {
  const int width = int(values.size() / 4);
  switch (kind) {
    case SampleKind::kPng8:
      return MakeImage(width, 1, std::vector<std::uint8_t>(values.begin(), values.end()));
    case SampleKind::kPng16:
      return MakeImage(width, 1, std::vector<std::uint16_t>(values.begin(), values.end()));
    case SampleKind::kExrFloat:
      break;
  }
  return MakeImage(width, 1, values);
}

TEST(ImageConversion, IntoWorldAtTheRoundingEdges) {
  // 0x3F010101·255 = 128.49999994 and 0x37000080·65535 = 0.49999999988: a product rounded to
  // float first lands on .5 and rounds the wrong way.
  const float below128half = FromBits(0x3F010101);
  const float justBelowHalf = FromBits(0x3EFFFFFF);
  const float twoToMinus16 = FromBits(0x37800000);
  const struct {
    SampleKind source;
    Depth depth;
    std::vector<float> in;
    std::vector<std::uint32_t> out;
  } integerCases[] = {
      {SampleKind::kPng8, Depth::k8, {0, 1, 128, 255}, {0, 1, 128, 255}},
      {SampleKind::kPng16, Depth::k8, {0, 128, 129, 385, 386, 32896, 65535, 65534},
       {0, 0, 1, 1, 2, 128, 255, 255}},
      {SampleKind::kExrFloat, Depth::k8,
       {0.0f, -0.5f, kNaN, -kInf, 1.0f, 2.0f, kInf, 0.5f, justBelowHalf, below128half, 1e-30f,
        -0.0f}, {0, 0, 0, 0, 255, 255, 255, 128, 127, 128, 0, 0}},
      {SampleKind::kPng8, Depth::k16, {0, 1, 127, 128, 254, 255, 2, 3},
       {0, 129, 16320, 16448, 32639, 32768, 257, 386}},
      {SampleKind::kPng16, Depth::k16, {0, 1, 2, 3, 32767, 32768, 65534, 65535},
       {0, 1, 1, 2, 16384, 16384, 32767, 32768}},
      // 2^-16·32768 is exactly one half: it rounds up, the float just below it down.
      {SampleKind::kExrFloat, Depth::k16,
       {0.5f, 1.0f, 1.5f, -1.0f, kNaN, twoToMinus16, FromBits(0x377FFFFF), justBelowHalf},
       {16384, 32768, 32768, 0, 0, 1, 0, 16384}},
  };
  for (const auto& c : integerCases) {
    SCOPED_TRACE(testing::Message() << "source " << int(c.source) << " depth " << int(c.depth));
    EXPECT_EQ(WorldIntegers(SourceImage(c.source, c.in), c.depth), c.out);
  }

  const struct {
    SampleKind source;
    std::vector<float> in;
    std::vector<std::uint32_t> outBits;
  } floatCases[] = {
      {SampleKind::kPng8, {0, 1, 51, 255}, {0, 0x3B808081, 0x3E4CCCCD, 0x3F800000}},
      {SampleKind::kPng16, {0, 1, 32768, 65535}, {0, 0x37800080, 0x3F000080, 0x3F800000}},
      {SampleKind::kExrFloat, {kNaN, -3.5f, 1e30f, FromBits(1)},
       {Bits(kNaN), 0xC0600000, Bits(1e30f), 1}},
  };
  for (const auto& c : floatCases) {
    SCOPED_TRACE(testing::Message() << "source " << int(c.source));
    const std::vector<float> world =
        ToWorld(SourceImage(c.source, c.in), RowToWorld32);
    std::vector<std::uint32_t> bits;
    for (float f : world) bits.push_back(Bits(f));
    EXPECT_EQ(bits, c.outBits);
  }
}

// round(v·num/den), halves up, holds when 2·|v·num - q·den| <= den and a tie went up.
bool IsRoundHalfUp(std::uint64_t v, std::uint64_t num, std::uint64_t den, std::uint64_t q) {
  const std::int64_t twiceError = 2 * (std::int64_t(v * num) - std::int64_t(q * den));
  return std::llabs(twiceError) < std::int64_t(den) || twiceError == -std::int64_t(den);
}

// r is v/den rounded to nearest: no neighbouring float is closer. The products are exact in double.
bool IsNearestQuotient(float r, std::uint32_t v, std::uint32_t den) {
  const double error = std::fabs(double(r) * den - v);
  return error <= std::fabs(double(std::nextafter(r, 2.0f)) * den - v) &&
         error <= std::fabs(double(std::nextafter(r, -1.0f)) * den - v);
}

TEST(ImageConversion, EveryIntegerSampleRoundsHalfUp) {
  const struct {
    SampleKind source;
    std::uint32_t sourceMax;
  } sources[] = {{SampleKind::kPng8, 255}, {SampleKind::kPng16, 65535}};
  for (const auto& s : sources) {
    std::vector<float> all;
    for (std::uint32_t v = 0; v <= s.sourceMax; ++v) all.push_back(float(v));
    while (all.size() % 4 != 0) all.push_back(0.0f);
    const Image image = SourceImage(s.source, all);
    const std::vector<std::uint32_t> world8 = WorldIntegers(image, Depth::k8);
    const std::vector<std::uint32_t> world16 = WorldIntegers(image, Depth::k16);
    const std::vector<float> world32 = ToWorld(image, RowToWorld32);
    for (std::uint32_t v = 0; v <= s.sourceMax; ++v) {
      ASSERT_TRUE(IsRoundHalfUp(v, 255, s.sourceMax, world8[v])) << v << " -> " << world8[v];
      ASSERT_TRUE(IsRoundHalfUp(v, 32768, s.sourceMax, world16[v])) << v << " -> " << world16[v];
      ASSERT_TRUE(IsNearestQuotient(world32[v], v, s.sourceMax)) << v << " -> " << world32[v];
    }
  }
}

TEST_F(ImageIo, WorldValuesGoOutAsStated) {
  const float underHalf65535 = FromBits(0x37000080);
  const struct {
    const char* name;
    Depth depth;
    std::vector<float> in;  // integer worlds take these as integers
    Image expected;
  } cases[] = {
      {"w8.png", Depth::k8, {0, 1, 128, 255}, MakeImage<std::uint8_t>(1, 1, {0, 1, 128, 255})},
      // 16384·65535/32768 = 32767.5 rounds up; above 32768 counts as 32768.
      {"w16.png", Depth::k16, {0, 1, 16383, 16384, 16385, 32767, 32768, 40000},
       MakeImage<std::uint16_t>(2, 1, {0, 2, 32766, 32768, 32769, 65533, 65535, 65535})},
      {"w32.png", Depth::k32, {kNaN, -1.0f, 0.0f, 2.0f, kInf, 0.5f, 1.0f, underHalf65535},
       MakeImage<std::uint16_t>(2, 1, {0, 0, 0, 65535, 65535, 32768, 65535, 0})},
      {"w8.exr", Depth::k8, {0, 1, 51, 255},
       MakeImage<float>(1, 1, {0.0f, FromBits(0x3B808081), FromBits(0x3E4CCCCD), 1.0f})},
      {"w16.exr", Depth::k16, {0, 16384, 32768, 65535},
       MakeImage<float>(1, 1, {0.0f, 0.5f, 1.0f, FromBits(0x3FFFFF00)})},
      {"w32.exr", Depth::k32, {kNaN, -3.5f, 1e30f, -0.0f},
       MakeImage<float>(1, 1, {kNaN, -3.5f, 1e30f, -0.0f})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int width = int(c.in.size() / 4);
    switch (c.depth) {
      case Depth::k8:
        WriteWorld8(Path(c.name), width, 1, {c.in.begin(), c.in.end()});
        break;
      case Depth::k16:
        WriteWorld16(Path(c.name), width, 1, {c.in.begin(), c.in.end()});
        break;
      case Depth::k32:
        WriteWorld32(Path(c.name), width, 1, c.in);
        break;
    }
    ExpectSameSamples(c.expected, ReadImage(Path(c.name)));
  }
}

TEST_F(ImageIo, BadInputsAreTypedErrors) {
  WriteImage(Path("good.png"),
                           MakeImage<std::uint8_t>(8, 8, std::vector<std::uint8_t>(256, 77)));
  WriteImage(Path("good.exr"), MakeImage<float>(8, 8, std::vector<float>(256, 0.3f)));
  const std::vector<std::uint8_t> png = ReadBytes("good.png");
  const std::vector<std::uint8_t> exr = ReadBytes("good.exr");
  auto cut = [](const std::vector<std::uint8_t>& bytes, std::size_t size) {
    return std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + std::ptrdiff_t(size));
  };
  std::vector<std::uint8_t> flipped = png;
  flipped[png.size() / 2] ^= 0x40;  // inside IDAT: the chunk checksum no longer matches
  fs::create_directory(Path("folder.png"));
  // One 8-bit pixel of palette index 0 or gray 5, and a transparency chunk that cannot be used.
  const PngChunk palette = {"PLTE", {10, 20, 30}}, pixel = Idat({0, 0}), grayPixel = Idat({0, 5});
  const PngChunk end = {"IEND", {}};
  const Bytes trnsBadCrc =
      PngOfChunks({Ihdr(1, 1, 3), palette, {"tRNS", {128}, {}, 1}, pixel, end});
  const Bytes trnsLength = PngOfChunks({Ihdr(1, 1, 0), {"tRNS", {0, 5, 0}}, grayPixel, end});
  const Bytes trnsFirst = PngOfChunks({Ihdr(1, 1, 3), {"tRNS", {128}}, palette, pixel, end});
  const Bytes trnsLast = PngOfChunks({Ihdr(1, 1, 3), palette, pixel, {"tRNS", {128}}, end});
  // A chunk that declares 2 GiB in a file that ends a few bytes later.
  auto declaring2GiB = [](const char* type) {
    return PngOfChunks({Ihdr(1, 1, 6), {type, {'k', 'e', 'y', 0}, 0x7FFFFFFFu}});
  };
  // The data window one column wider than the rows stored, compressed (ZIP) and not.
  WriteRawExr(Path("raw.exr"), Imath::Box2i({0, 0}, {7, 7}), {{"R", Imf::FLOAT}},
              [](int, int i) { return float(i); }, Imf::NO_COMPRESSION);
  // A header OpenEXR's core library refuses and its C++ reader takes: a double attribute whose
  // stored size says 4 bytes (the C++ reader reads a double's 8 whatever the size says). Its name
  // sorts before "channels": OpenEXR 3.1's core library checks the sizes of attributes stored
  // before that one.
  auto doubleOfSize4 = [&](const std::string& name) {
    WriteRawExr(Path("attribute.exr"), Imath::Box2i({0, 0}, {0, 0}), {{"R", Imf::FLOAT}},
                [](int, int) { return 0.5f; }, Imf::ZIP_COMPRESSION,
                [&](Imf::Header& header) { header.insert(name, Imf::DoubleAttribute(0.5)); });
    Bytes exr = ReadBytes("attribute.exr");
    const std::string key = name + std::string("\0double\0", 8);
    const auto at = std::search(exr.begin(), exr.end(), key.begin(), key.end());
    if (at != exr.end()) at[std::ptrdiff_t(key.size())] = 4;  // the low byte of the size
    return exr;
  };
  // Rows of 16 floats stored without compression, a chunk each: the chunks of rows 600 and 601
  // say they hold 48 bytes instead of 64. Next to each other, they are checked at about the
  // same time by two of the threads that share the chunks; the topmost is told.
  WriteRawExr(Path("rows.exr"), Imath::Box2i({0, 0}, {15, 1023}), {{"R", Imf::FLOAT}},
              [](int, int i) { return float(i); }, Imf::NO_COMPRESSION);
  Bytes twoShortChunks = ReadBytes("rows.exr");
  for (const int y : {600, 601}) {
    // The chunk's row and size, little-endian.
    const Bytes key = {std::uint8_t(y), std::uint8_t(y >> 8), 0, 0, 64, 0, 0, 0};
    const auto at =
        std::search(twoShortChunks.begin(), twoShortChunks.end(), key.begin(), key.end());
    if (at != twoShortChunks.end()) at[4] = 48;
  }
  // The offset table sends the chunk of row 100 past the end of the file, and the chunk of row
  // 200 says it holds 2 GiB: the core library rebuilds the table from the chunks' leaders and
  // stops at that one. The table is loaded before the chunks are shared, so the complaint is the
  // table's, not that of whichever chunk's check happened to load it.
  Bytes badTable = ReadBytes("rows.exr");
  auto leader = [&badTable](std::uint8_t y) {
    const Bytes key = {y, 0, 0, 0, 64, 0, 0, 0};
    return std::search(badTable.begin(), badTable.end(), key.begin(), key.end());
  };
  ASSERT_TRUE(leader(100) != badTable.end() && leader(200) != badTable.end());
  const auto offset = std::uint64_t(leader(100) - badTable.begin());
  Bytes entry;  // the table's entry for it, little-endian
  for (int i = 0; i < 8; ++i) entry.push_back(std::uint8_t(offset >> (8 * i)));
  const auto at = std::search(badTable.begin(), badTable.end(), entry.begin(), entry.end());
  ASSERT_TRUE(at != badTable.end());
  at[7] = 0x7F;
  leader(200)[7] = 0x7F;  // the high byte of its size

  const struct {
    std::string name;
    std::vector<std::uint8_t> bytes;  // written first, except for the missing ones and the folder
    ImageErrorKind kind;
    std::string said = {};  // a part of the message, where it matters
  } cases[] = {
      {"missing.png", {}, ImageErrorKind::kNotFound},
      {"missing.exr", {}, ImageErrorKind::kNotFound},
      {"folder.png", {}, ImageErrorKind::kUnreadable},
      {"picture.jpg", png, ImageErrorKind::kUnsupportedType},
      {"empty.png", {}, ImageErrorKind::kCorrupt},
      {"garbage.png", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!'},
       ImageErrorKind::kCorrupt},
      {"cut8.png", cut(png, 8), ImageErrorKind::kCorrupt},
      {"cut20.png", cut(png, 20), ImageErrorKind::kCorrupt},
      {"cut40.png", cut(png, 40), ImageErrorKind::kCorrupt},
      {"cut_half.png", cut(png, png.size() / 2), ImageErrorKind::kCorrupt},
      {"cut_end.png", cut(png, png.size() - 1), ImageErrorKind::kCorrupt},
      {"flipped.png", flipped, ImageErrorKind::kCorrupt},
      {"png_named.exr", png, ImageErrorKind::kCorrupt},
      {"exr_named.png", exr, ImageErrorKind::kCorrupt},
      {"garbage.exr", {0x76, 0x2F, 0x31, 0x01, 2, 0, 0, 0, 'x', 'y', 'z'},
       ImageErrorKind::kCorrupt},
      {"cut_half.exr", cut(exr, exr.size() / 2), ImageErrorKind::kCorrupt},
      {"cut_end.exr", cut(exr, exr.size() - 1), ImageErrorKind::kCorrupt},
      // Refused from the header alone, before any pixel memory is taken.
      {"wide.png", PngOfSize(100000, 1), ImageErrorKind::kTooLarge},
      {"big.png", PngOfSize(20000, 20000), ImageErrorKind::kTooLarge},
      // A transparency chunk that libpng drops: transparent pixels would come out opaque.
      {"trns_bad_crc.png", trnsBadCrc, ImageErrorKind::kCorrupt},
      {"trns_wrong_length.png", trnsLength, ImageErrorKind::kCorrupt},
      {"trns_before_plte.png", trnsFirst, ImageErrorKind::kCorrupt},
      {"trns_after_idat.png", trnsLast, ImageErrorKind::kCorrupt},
      // Chunks the reader does not use are skipped, not allocated.
      {"itxt.png", declaring2GiB("iTXt"), ImageErrorKind::kCorrupt},
      {"text.png", declaring2GiB("tEXt"), ImageErrorKind::kCorrupt},
      {"ztxt.png", declaring2GiB("zTXt"), ImageErrorKind::kCorrupt},
      {"splt.png", declaring2GiB("sPLT"), ImageErrorKind::kCorrupt},
      {"short_rows.exr", WithLargerWindow(exr, Bound::kXMax), ImageErrorKind::kCorrupt},
      {"short_raw_rows.exr", WithLargerWindow(ReadBytes("raw.exr"), Bound::kXMax),
       ImageErrorKind::kCorrupt},
      {"two_short_chunks.exr", twoShortChunks, ImageErrorKind::kCorrupt,
       "the chunk of row 600: 48 bytes"},
      {"bad_table.exr", badTable, ImageErrorKind::kCorrupt,
       "the chunk offset table: Invalid chunk size reconstructing chunk table"},
      {"bad_attribute.exr", doubleOfSize4("angle"), ImageErrorKind::kCorrupt,
       "damaged OpenEXR file: the header: Attribute 'angle'"},
      // The file's text reaches the terminal with its control characters escaped.
      {"escape_attribute.exr", doubleOfSize4("\x1b]0;title\x07"), ImageErrorKind::kCorrupt,
       "Attribute '\\x1b]0;title\\x07'"},
  };
  rusage before{};
  getrusage(RUSAGE_SELF, &before);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.name.rfind("missing", 0) != 0 && c.name != "folder.png") WriteBytes(c.name, c.bytes);
    std::string message;
    EXPECT_EQ(ReadErrorKind(Path(c.name), &message), c.kind);
    EXPECT_NE(message.find(c.said), std::string::npos) << message;
  }
  // No header, whatever it declares, makes the reader take more than a few MiB.
  rusage after{};
  getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 16 * 1024) << "KiB more at the peak";
}

// libpng's info struct, which the next test makes fail to be created, and the read structs it
// destroys meanwhile; otherwise the calls reach libpng as they are.
bool g_failInfoStruct = false;
int g_readStructsDestroyed = 0;
}  // namespace
extern "C" png_infop png_create_info_struct(png_const_structrp png) {
  using Real = png_infop (*)(png_const_structrp);
  static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "png_create_info_struct"));
  return g_failInfoStruct ? nullptr : real(png);
}
extern "C" void png_destroy_read_struct(png_structpp png, png_infopp info, png_infopp end) {
  using Real = void (*)(png_structpp, png_infopp, png_infopp);
  static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "png_destroy_read_struct"));
  if (g_failInfoStruct && png != nullptr && *png != nullptr) ++g_readStructsDestroyed;
  real(png, info, end);
}
namespace {

// A PNG reader that cannot start for want of memory frees the libpng struct it has made.
TEST_F(ImageIo, AReaderShortOfMemoryFreesWhatItMade) {
  WriteImage(Path("good.png"), MakeImage<std::uint8_t>(1, 1, {1, 2, 3, 4}));
  g_failInfoStruct = true;
  const ImageErrorKind kind = ReadErrorKind(Path("good.png"));
  g_failInfoStruct = false;
  EXPECT_EQ(kind, ImageErrorKind::kOutOfMemory);
  EXPECT_EQ(g_readStructsDestroyed, 1);
}

ImageErrorKind WriteErrorKind(const std::function<void()>& write) {
  try {
    write();
  } catch (const ImageError& e) {
    return e.kind();
  }
  ADD_FAILURE() << "the write succeeded";
  return ImageErrorKind::kNotFound;
}

TEST_F(ImageIo, FailedWritesLeaveNothingBehind) {
  const std::vector<std::uint8_t> pixel8 = {1, 2, 3, 4};
  const std::vector<float> pixel32 = {0.1f, 0.2f, 0.3f, 0.4f};
  fs::create_directory(Path("taken.png"));
  fs::create_directory(Path("taken.exr"));
  WriteBytes("taken.png/inside", {1});  // a non-empty directory cannot be renamed over
  WriteBytes("taken.exr/inside", {1});
  WriteBytes("keep.png", {'o', 'l', 'd'});
  WriteBytes("keep.exr", {'o', 'l', 'd'});
  const std::set<std::string> before = Listing();

  const struct {
    const char* name;
    std::function<void()> write;
    ImageErrorKind kind;
  } cases[] = {
      {"no such directory", [&] { WriteWorld8(Path("nowhere/out.png"), 1, 1, pixel8); },
       ImageErrorKind::kWriteFailed},
      {"directory in the way (png)", [&] { WriteWorld8(Path("taken.png"), 1, 1, pixel8); },
       ImageErrorKind::kWriteFailed},
      {"directory in the way (exr)", [&] { WriteWorld32(Path("taken.exr"), 1, 1, pixel32); },
       ImageErrorKind::kWriteFailed},
      {"too few samples", [&] { WriteWorld8(Path("keep.png"), 2, 1, pixel8); },
       ImageErrorKind::kInvalidArgument},
      {"empty image", [&] { WriteWorld32(Path("keep.exr"), 0, 0, {}); },
       ImageErrorKind::kInvalidArgument},
      {"unknown type", [&] { WriteWorld8(Path("out.tif"), 1, 1, pixel8); },
       ImageErrorKind::kUnsupportedType},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(WriteErrorKind(c.write), c.kind);
    EXPECT_EQ(Listing(), before);
    EXPECT_EQ(ReadBytes("keep.png"), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
  }
}

// The disk fills up in the middle of the data: the file-size limit makes write() fail with EFBIG
// once the file passes 4 KiB, inside libpng's and OpenEXR's own writing.
TEST_F(ImageIo, WriteFailingMidwayKeepsTheOldFile) {
  std::mt19937 noise(7);
  std::vector<std::uint8_t> bytes(128 * 128 * 4);
  for (auto& b : bytes) b = std::uint8_t(noise());
  std::vector<float> floats(64 * 64 * 4);
  for (auto& f : floats) f = float(noise()) / 4096.0f;
  WriteBytes("keep.png", {'o', 'l', 'd'});
  WriteBytes("keep.exr", {'o', 'l', 'd'});
  const std::set<std::string> before = Listing();

  const std::function<void()> writes[] = {
      [&] { WriteWorld8(Path("keep.png"), 128, 128, bytes); },
      [&] { WriteWorld32(Path("keep.exr"), 64, 64, floats); },
  };
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  std::vector<ImageErrorKind> kinds;
  for (const auto& write : writes) kinds.push_back(WriteErrorKind(write));
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(kinds, (std::vector<ImageErrorKind>{ImageErrorKind::kWriteFailed,
                                                ImageErrorKind::kWriteFailed}));
  EXPECT_EQ(Listing(), before);
  EXPECT_EQ(ReadBytes("keep.png"), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(ReadBytes("keep.exr"), (std::vector<std::uint8_t>{'o', 'l', 'd'}));

  // Without the limit the same writes replace the old files.
  for (const auto& write : writes) write();
  EXPECT_EQ(std::get<std::vector<std::uint8_t>>(ReadImage(Path("keep.png")).samples),
            bytes);
  EXPECT_EQ(std::get<std::vector<float>>(ReadImage(Path("keep.exr")).samples),
            floats);
  EXPECT_EQ(Listing(), before);
}

}  // namespace
