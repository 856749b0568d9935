// PNG files of any colour type, written straight through libpng, for tests that must not make
// their inputs with the code under test.
#pragma once

#include <gtest/gtest.h>
#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tavu::testing {

// A PNG of any colour type, written straight through libpng.
struct RawPng {
  int width, height, colorType, bitDepth;
  bool interlaced;
  std::vector<std::vector<std::uint8_t>> rows;  // packed as stored, 16-bit big-endian
  std::vector<png_color> palette = {};
  std::vector<png_byte> paletteAlpha = {};
  int transparentGray = -1;
};

inline bool WriteRawPngRows(png_structp png, png_infop info, const RawPng* layout,
                            png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, layout->width, layout->height, layout->bitDepth, layout->colorType,
               layout->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!layout->palette.empty()) {
    png_set_PLTE(png, info, layout->palette.data(), int(layout->palette.size()));
  }
  if (!layout->paletteAlpha.empty()) {
    png_set_tRNS(png, info, layout->paletteAlpha.data(), int(layout->paletteAlpha.size()), nullptr);
  }
  png_color_16 gray{};
  gray.gray = png_uint_16(layout->transparentGray);
  if (layout->transparentGray >= 0) png_set_tRNS(png, info, nullptr, 0, &gray);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, info);
  return true;
}

inline void WriteRawPng(const std::string& path, RawPng layout) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  std::vector<png_bytep> rows;
  for (auto& row : layout.rows) rows.push_back(row.data());
  const bool ok = WriteRawPngRows(png, info, &layout, rows.data());
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
  ASSERT_TRUE(ok);
}

}  // namespace tavu::testing
