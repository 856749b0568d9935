// The check that an OpenEXR part's pixel data holds every row its data window needs.
#pragma once

#include <cstdint>
#include <string>

namespace tavu::render {

// OpenEXR's C++ reader decodes a chunk that holds fewer bytes than its rows need, as stored or
// once decompressed, without a word: the rest of those rows keeps whatever its buffer held (zeros,
// or the samples of an earlier chunk). OpenEXR's core library tells: its decoder refuses a
// compressed chunk that does not expand to exactly the rows it covers, and it gives the size a
// chunk stored without compression must have. So before any pixel is read, the core library
// decompresses every chunk of the part to be read (of a tiled part, the full-resolution tiles),
// and the pixel data is decompressed twice. The core library of OpenEXR 3.1 cannot decompress
// DWAA and DWAB: of those, only the chunk offset table and the first chunk's leader are checked,
// and false is returned (true of every other compression).
//
// Fails with kCorrupt at the header when the core library refuses it, at the chunk offset table
// of `part` when the library fails to load it or complains while loading it, or else at the
// topmost chunk (of tiles, the first row by row) that does not hold its rows, whatever the chunks'
// order in the file; reads the file through `fd` (of `size` bytes) without moving its position.
// The chunks are shared among `threads` threads, this one included; the message does not depend
// on them. Memory running out is std::bad_alloc.
bool CheckExrChunks(const std::string& path, int fd, std::uint64_t size, int part, int threads);

}  // namespace tavu::render
