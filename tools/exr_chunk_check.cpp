#include "tools/exr_chunk_check.h"

#include <openexr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "hostsim/terminal_text.h"
#include "tools/atomic_file.h"
#include "tools/image_formats.h"

namespace tavu::render {
namespace {

using hostsim::TerminalText;

struct ExrCoreInput {
  int fd;
  std::uint64_t size;
};

// The core library reads through the file's descriptor at the offsets it asks for, so the stream
// position of the C++ reader on the same file is left where it was, and several threads can read
// at once.
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

// What the core library told about the header or the chunk being checked: its first message
// (a library must not print; the message goes into the error instead), and whether an allocation
// of its own failed, which tells running out of memory from damaged PIZ data, reported alike.
// The library calls back on the thread that met the trouble, so each thread keeps its own.
// The record allocates nothing: a thread_local with a destructor has it registered on the
// thread's first use, which aborts the process when memory has run out, and the library calls
// back from C code that nothing may be thrown through. A message longer than the library's own
// (names of up to 255 bytes in a sentence) is cut; it is escaped where it enters an error, so a
// cut within a character does no harm.
struct ExrCoreTrouble {
  char message[1024] = {};
  bool allocationFailed = false;
};
static_assert(std::is_trivially_destructible_v<ExrCoreTrouble>,
              "a thread's first use of the record must not register a destructor");
thread_local ExrCoreTrouble exrCoreTrouble;

void* ExrCoreAllocate(std::size_t size) {
  void* memory = std::malloc(size);
  if (memory == nullptr) exrCoreTrouble.allocationFailed = true;
  return memory;
}

void ExrCoreError(exr_const_context_t, exr_result_t, const char* message) {
  if (exrCoreTrouble.message[0] != '\0' || message == nullptr) return;
  const std::size_t length = std::min(std::strlen(message), sizeof exrCoreTrouble.message - 1);
  std::memcpy(exrCoreTrouble.message, message, length);
  exrCoreTrouble.message[length] = '\0';
}

// What the trouble on this thread says of a failed call: the library's message, or the text of
// its result code when it said nothing.
std::string TroubleText(exr_result_t result) {
  return exrCoreTrouble.message[0] == '\0' ? exr_get_default_error_message(result)
                                            : exrCoreTrouble.message;
}

class ExrCoreFile {
 public:
  ~ExrCoreFile() {
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
  exr_const_context_t get() const { return context_; }

 private:
  exr_context_t context_ = nullptr;
};

// Decompresses chunks, unpacking nothing. The core library lets several threads read one context
// at once, each through a pipeline of its own: one decoder serves one thread.
class ChunkDecoder {
 public:
  ChunkDecoder(exr_const_context_t context, int part) : context_(context), part_(part) {}
  ~ChunkDecoder() {
    if (started_) exr_decoding_destroy(context_, &pipeline_);
  }
  exr_result_t Decode(const exr_chunk_info_t& chunk) {
    exr_result_t result = EXR_ERR_SUCCESS;
    if (!started_) {
      started_ = true;
      result = exr_decoding_initialize(context_, part_, &chunk, &pipeline_);
      if (result == EXR_ERR_SUCCESS) {
        result = exr_decoding_choose_default_routines(context_, part_, &pipeline_);
      }
    } else {
      result = exr_decoding_update(context_, part_, &chunk, &pipeline_);
    }
    return result == EXR_ERR_SUCCESS ? exr_decoding_run(context_, part_, &pipeline_) : result;
  }

 private:
  exr_const_context_t context_;
  int part_;
  exr_decode_pipeline_t pipeline_ = EXR_DECODE_PIPELINE_INITIALIZER;
  bool started_ = false;
};

// A chunk that does not hold its rows, that cannot be told, or whose check ran out of memory.
struct Finding {
  enum class What { kDamaged, kUnchecked, kOutOfMemory };
  std::int64_t chunk;
  What what;
  std::string detail;  // of a damaged chunk
};

// The chunks of a part, numbered top to bottom (tiles row by row, left to right), whatever their
// order in the file, shared among threads. Each takes the next chunk not yet taken; what counts is
// the finding of the lowest number, so the error does not depend on which thread was quicker, and
// chunks past a finding are not looked at.
class ChunkCheck {
 public:
  ChunkCheck(exr_const_context_t context, int part, bool tiled, std::int64_t count,
             std::int64_t across, int firstRow, int rowsPerChunk)
      : context_(context),
        part_(part),
        tiled_(tiled),
        across_(across),
        firstRow_(firstRow),
        rowsPerChunk_(rowsPerChunk),
        end_(count) {}

  // Run by each thread; throws nothing.
  void Work() {
    ChunkDecoder decoder(context_, part_);
    for (;;) {
      const std::int64_t chunk = next_.fetch_add(1);
      if (chunk >= end_.load()) return;
      std::optional<Finding> found;
      try {
        found = Check(decoder, chunk);
      } catch (const std::bad_alloc&) {
        found = Finding{chunk, Finding::What::kOutOfMemory, {}};
      }
      if (found) {
        // Every chunk this thread would take next lies further on.
        std::lock_guard<std::mutex> lock(mutex_);
        if (!first_ || found->chunk < first_->chunk) first_ = std::move(found);
        end_.store(first_->chunk);
        return;
      }
    }
  }

  // Once every thread has finished.
  const std::optional<Finding>& first() const { return first_; }

  // The chunk's place in the file and its sizes, from the part's chunk offset table and the
  // chunk's leader.
  exr_result_t LookUp(std::int64_t index, exr_chunk_info_t* chunk) const {
    return tiled_ ? exr_read_tile_chunk_info(context_, part_, int(index % across_),
                                             int(index / across_), 0, 0, chunk)
                  : exr_read_scanline_chunk_info(context_, part_, RowOf(index), chunk);
  }

  // The chunk's place, as the error names it.
  std::string Where(std::int64_t chunk) const {
    if (tiled_) {
      return "tile " + std::to_string(chunk % across_) + ", " + std::to_string(chunk / across_) +
             ": ";
    }
    return "the chunk of row " + std::to_string(RowOf(chunk)) + ": ";
  }

 private:
  int RowOf(std::int64_t chunk) const { return int(firstRow_ + chunk * rowsPerChunk_); }

  std::optional<Finding> Check(ChunkDecoder& decoder, std::int64_t index) {
    exrCoreTrouble = {};
    exr_chunk_info_t chunk{};
    exr_result_t result = LookUp(index, &chunk);
    if (result == EXR_ERR_SUCCESS && chunk.compression == EXR_COMPRESSION_NONE &&
        chunk.packed_size < chunk.unpacked_size) {
      return Finding{index, Finding::What::kDamaged,
                     std::to_string(chunk.packed_size) + " bytes of pixel data where " +
                         std::to_string(chunk.unpacked_size) + " are needed"};
    }
    if (result == EXR_ERR_SUCCESS) {
      result = decoder.Decode(chunk);
      if (result == EXR_ERR_FEATURE_NOT_IMPLEMENTED) {
        return Finding{index, Finding::What::kUnchecked, {}};
      }
    }
    if (result == EXR_ERR_SUCCESS) return std::nullopt;
    if (exrCoreTrouble.allocationFailed) return Finding{index, Finding::What::kOutOfMemory, {}};
    return Finding{index, Finding::What::kDamaged, TroubleText(result)};
  }

  const exr_const_context_t context_;
  const int part_;
  const bool tiled_;
  const std::int64_t across_;  // tiles in a row of tiles
  const std::int64_t firstRow_;
  const std::int64_t rowsPerChunk_;
  std::atomic<std::int64_t> next_{0};
  std::atomic<std::int64_t> end_;  // no chunk from here on needs a look
  std::mutex mutex_;
  std::optional<Finding> first_;
};

// The core library loads a part's chunk offset table within the first look-up of one of its
// chunks, rebuilding a damaged table from the chunks' leaders, and keeps the table once loaded; a
// table it failed to load is loaded again by the next look-up. So the table is loaded here, by
// looking up the first chunk before the chunks are shared, and what the loading said is told as
// the table's. The library does not say whether its words were the table's or the first chunk's;
// the look-ups tell as far as they can: from a kept table, the first chunk looked up again says
// only what is its own, so what differs was said by the loading; and a failure that the last
// chunk's look-up repeats word for word is the loading failing again. Returns what the table's
// loading said, if anything.
std::optional<std::string> LoadTable(const ChunkCheck& check, std::int64_t last) {
  auto lookUp = [&check](std::int64_t index) {
    exrCoreTrouble = {};
    exr_chunk_info_t chunk{};
    const exr_result_t result = check.LookUp(index, &chunk);
    if (exrCoreTrouble.allocationFailed) throw std::bad_alloc();
    return std::make_pair(result, TroubleText(result));
  };
  const auto first = lookUp(0);
  if (lookUp(0) != first) return first.second;
  if (first.first != EXR_ERR_SUCCESS && last > 0 && lookUp(last) == first) return first.second;
  return std::nullopt;  // the first chunk's own fault, if any, is told when it is checked
}

}  // namespace

bool CheckExrChunks(const std::string& path, int fd, std::uint64_t size, int part, int threads) {
  // Some of the core library's decompressors (PIZ's) allocate through its default routines, not
  // the context's.
  static std::once_flag defaults;
  std::call_once(defaults, [] { exr_set_default_memory_routines(ExrCoreAllocate, std::free); });
  ExrCoreInput input{fd, size};
  exrCoreTrouble = {};
  ExrCoreFile file;
  auto failHeader = [&](exr_result_t result) {
    if (exrCoreTrouble.allocationFailed) throw std::bad_alloc();
    Fail(ImageErrorKind::kCorrupt, path,
         "damaged OpenEXR file: the header: " + TerminalText(TroubleText(result)));
  };
  exr_result_t result = file.Open(path, &input);
  if (result != EXR_ERR_SUCCESS) failHeader(result);
  const exr_const_context_t context = file.get();
  exr_storage_t storage = EXR_STORAGE_SCANLINE;
  exr_attr_box2i_t window{};
  result = exr_get_storage(context, part, &storage);
  if (result == EXR_ERR_SUCCESS) result = exr_get_data_window(context, part, &window);
  if (result != EXR_ERR_SUCCESS) failHeader(result);
  const std::int64_t width = std::int64_t{window.max.x} - window.min.x + 1;
  const std::int64_t height = std::int64_t{window.max.y} - window.min.y + 1;

  const bool tiled = storage == EXR_STORAGE_TILED;
  std::int32_t tileWidth = 1, tileHeight = 1, rowsPerChunk = 1;
  result = tiled ? exr_get_tile_sizes(context, part, 0, 0, &tileWidth, &tileHeight)
                 : exr_get_scanlines_per_chunk(context, part, &rowsPerChunk);
  if (result == EXR_ERR_SUCCESS && (tileWidth < 1 || tileHeight < 1 || rowsPerChunk < 1)) {
    result = EXR_ERR_INVALID_ATTR;  // the chunks below could not be counted
  }
  if (result != EXR_ERR_SUCCESS) failHeader(result);
  // Of a tiled part, the full-resolution tiles; of a scanline part, one column of chunks.
  const std::int64_t across = tiled ? (width + tileWidth - 1) / tileWidth : 1;
  const std::int64_t down =
      tiled ? (height + tileHeight - 1) / tileHeight : (height + rowsPerChunk - 1) / rowsPerChunk;
  ChunkCheck check(context, part, tiled, across * down, across, window.min.y, rowsPerChunk);
  if (const std::optional<std::string> table = LoadTable(check, across * down - 1)) {
    Fail(ImageErrorKind::kCorrupt, path,
         "damaged OpenEXR file: the chunk offset table: " + TerminalText(*table));
  }

  // This thread works too; fewer helpers than asked for are enough when no more can be started.
  const std::int64_t helping = std::min<std::int64_t>(threads, across * down) - 1;
  std::vector<std::thread> helpers;
  helpers.reserve(std::size_t(std::max<std::int64_t>(helping, 0)));
  {
    // The helpers start with the cleanup signals held back and keep them so (tools/atomic_file.h).
    const CleanupSignalsHeld held;
    for (std::int64_t i = 0; i < helping; ++i) {
      try {
        helpers.emplace_back([&check] { check.Work(); });
      } catch (const std::exception&) {
        // No thread to be had (std::system_error) or no memory for one (std::bad_alloc): either
        // must end the loop here, as leaving with helpers running would terminate the process.
        break;
      }
    }
  }
  check.Work();
  for (std::thread& helper : helpers) helper.join();

  const std::optional<Finding>& first = check.first();
  if (!first) return true;
  if (first->what == Finding::What::kUnchecked) return false;  // DWAA, DWAB
  if (first->what == Finding::What::kOutOfMemory) throw std::bad_alloc();
  Fail(ImageErrorKind::kCorrupt, path,
       "damaged OpenEXR file: " + check.Where(first->chunk) + TerminalText(first->detail));
}

}  // namespace tavu::render
