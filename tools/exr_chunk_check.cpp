#include "tools/exr_chunk_check.h"

#include <openexr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <new>

#include "tools/image_formats.h"

namespace tavu::render {
namespace {

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

}  // namespace

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

}  // namespace tavu::render
