// The error and file helpers the PNG and OpenEXR code share.

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "tools/image_formats.h"

namespace tavu::render {

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

bool ReadStart(const std::string& path, std::FILE* file, void* out, std::size_t size) {
  if (std::fread(out, 1, size, file) == size) return true;
  if (std::ferror(file) != 0) Fail(ImageErrorKind::kUnreadable, path, "read error");
  return false;
}

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

}  // namespace tavu::render
