#include "hostsim/module.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "hostsim/terminal_text.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#if defined(__ELF__)
#include <elf.h>
#include <link.h>

// The ELF header of the program this code runs in, which the linker provides: a module of another
// class, byte order or machine cannot be loaded into it.
extern "C" const ElfW(Ehdr) __ehdr_start;
#endif

namespace tavu::hostsim {

namespace {
#if defined(_WIN32)
void* Open(const std::string& path, std::string* error) {
  HMODULE h = LoadLibraryA(path.c_str());
  if (!h) *error = "LoadLibrary failed with code " + std::to_string(GetLastError());
  return reinterpret_cast<void*>(h);
}
void* Symbol(void* h, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(h), name));
}
void Close(void* h) { FreeLibrary(static_cast<HMODULE>(h)); }
#else

#if defined(__ELF__)
// Reads `size` bytes at `offset` of the open file; false when the file ends before them.
bool ReadAt(int fd, std::uint64_t offset, void* to, std::size_t size) {
  auto* bytes = static_cast<char*>(to);
  while (size > 0) {
    const ssize_t got = pread(fd, bytes, size, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    bytes += got;
    offset += static_cast<std::uint64_t>(got);
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

// What makes the ELF file `fd` of `size` bytes a damaged or cut-short copy, or no module for this
// machine, or "". The loader trusts the program headers: it maps each loadable segment from the
// file (a segment beyond the file's end is a bus error at its first touch), maps a segment's file
// bytes into the memory it reserved for the segment, and reads the dynamic section at its address,
// so such a copy would crash it rather than be reported. This tells the faults a damaged copy
// shows; it does not make a hostile file safe. A module is code, which loading runs, and beyond
// these checks it is trusted as code is.
std::string ElfFault(int fd, std::uint64_t size) {
  ElfW(Ehdr) header{};
  const bool wholeHeader = ReadAt(fd, 0, &header, sizeof header);
  if (size < SELFMAG || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0) return "not an ELF file";
  if (!wholeHeader) {
    return "cut short: its ELF header ends past the end of the file (" + std::to_string(size) +
           " bytes)";
  }
  const ElfW(Ehdr)& own = __ehdr_start;
  if (header.e_ident[EI_CLASS] != own.e_ident[EI_CLASS]) {
    return header.e_ident[EI_CLASS] == ELFCLASS32 ? "a 32-bit ELF file; this machine loads 64-bit"
           : header.e_ident[EI_CLASS] == ELFCLASS64 ? "a 64-bit ELF file; this machine loads 32-bit"
                                                    : "an ELF file of an unknown class";
  }
  if (header.e_ident[EI_DATA] != own.e_ident[EI_DATA]) {
    return "an ELF file of the other byte order";
  }
  if (header.e_type != ET_DYN) {
    return "not a shared object (ELF type " + std::to_string(header.e_type) + ")";
  }
  if (header.e_machine != own.e_machine) {
    return "an ELF file for another machine (machine " + std::to_string(header.e_machine) +
           "; this one is " + std::to_string(own.e_machine) + ")";
  }
  if (header.e_phentsize != sizeof(ElfW(Phdr))) return "an ELF file with a damaged header";
  // With extended numbering the real count is in the first section header, which the loader
  // does not read.
  if (header.e_phnum == PN_XNUM) {
    return "its program headers are counted in its first section header (extended numbering), "
           "which the system loader does not support";
  }
  std::vector<ElfW(Phdr)> segments(header.e_phnum);
  for (unsigned i = 0; i < header.e_phnum; ++i) {
    if (!ReadAt(fd, header.e_phoff + std::uint64_t{i} * sizeof segments[i], &segments[i],
                sizeof segments[i])) {
      return "cut short: its program headers end past the end of the file (" +
             std::to_string(size) + " bytes)";
    }
  }
  // Offsets and sizes are compared by subtraction and printed apart: their sum could wrap.
  for (const ElfW(Phdr)& segment : segments) {
    if (segment.p_type != PT_LOAD) continue;
    if (segment.p_offset > size || segment.p_filesz > size - segment.p_offset) {
      return "cut short: a loadable segment of " + std::to_string(segment.p_filesz) +
             " bytes from byte " + std::to_string(segment.p_offset) +
             " runs past the end of the file (" + std::to_string(size) + " bytes)";
    }
    if (segment.p_memsz == 0) return "a loadable segment has a memory size of 0";
    if (segment.p_filesz > segment.p_memsz) {
      return "a loadable segment holds " + std::to_string(segment.p_filesz) +
             " bytes of the file but only " + std::to_string(segment.p_memsz) + " bytes of memory";
    }
  }
  // The loader reads the dynamic section at its address: memory a loadable segment reserves.
  const auto inLoadable = [&](const ElfW(Phdr)& dynamic) {
    for (const ElfW(Phdr)& load : segments) {
      if (load.p_type == PT_LOAD && dynamic.p_vaddr >= load.p_vaddr &&
          dynamic.p_vaddr - load.p_vaddr <= load.p_memsz &&
          dynamic.p_memsz <= load.p_memsz - (dynamic.p_vaddr - load.p_vaddr)) {
        return true;
      }
    }
    return false;
  };
  for (const ElfW(Phdr)& segment : segments) {
    if (segment.p_type == PT_DYNAMIC && !inLoadable(segment)) {
      return "its dynamic segment (" + std::to_string(segment.p_memsz) + " bytes at address " +
             std::to_string(segment.p_vaddr) + ") lies outside its loadable segments";
    }
  }
  return "";
}
#endif

// What is wrong with the file at `path` for the loader, or "". The file is opened without
// blocking, so that a FIFO cannot hold the process, and judged through the open descriptor. The
// loader then opens the path again: a file replaced in between is not caught. Loading through
// /proc/self/fd/N would close that gap, but the loader matches such names against the objects it
// already holds, and a later module on a reused descriptor number would get an earlier module.
std::string FileFault(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  struct stat st;
  std::string fault;
  if (fstat(fd, &st) != 0) {
    fault = std::strerror(errno);
  } else if (!S_ISREG(st.st_mode)) {
    fault = "not a regular file";
  } else {
#if defined(__ELF__)
    fault = ElfFault(fd, static_cast<std::uint64_t>(st.st_size));
#endif
  }
  close(fd);
  return fault;
}

void* Open(const std::string& path, std::string* error) {
  *error = FileFault(path);
  if (!error->empty()) return nullptr;
  // RTLD_LOCAL: modules loaded side by side must not see each other's symbols.
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  // The loader's message quotes names from the module file, as the libraries it needs and the
  // symbols it lacks, which could hold terminal escapes.
  if (!h) *error = TerminalText(dlerror());
  return h;
}
void* Symbol(void* h, const char* name) { return dlsym(h, name); }
void Close(void* h) { dlclose(h); }
#endif

// A null name is refused with an error code instead of being read: the module learns that its
// registration failed, and the host does not crash.
PF_Err Record(PF_PluginDataPtr ptr, const A_u_char* name, const A_u_char* match,
              const A_u_char* category, const A_u_char* entry, A_long kind, A_long major,
              A_long minor, A_long reserved) {
  auto* info = static_cast<PluginInfo*>(ptr);
  ++info->calls;
  const struct {
    const A_u_char* text;
    const char* what;
  } names[] = {{name, "display name"},
               {match, "match name"},
               {category, "category"},
               {entry, "entry point"}};
  for (const auto& n : names) {
    if (n.text == nullptr) {
      if (info->refused.empty()) info->refused = std::string("a null ") + n.what;
      return PF_Err_BAD_CALLBACK_PARAM;
    }
  }
  info->displayName = reinterpret_cast<const char*>(name);
  info->matchName = reinterpret_cast<const char*>(match);
  info->category = reinterpret_cast<const char*>(category);
  info->entryPoint = reinterpret_cast<const char*>(entry);
  info->kind = kind;
  info->apiMajor = major;
  info->apiMinor = minor;
  info->reserved = reserved;
  return PF_Err_NONE;
}
}  // namespace

Module::Module(const std::string& path) : path_(path) {
  std::string error;
  handle_ = Open(path, &error);
  if (!handle_) throw std::runtime_error("cannot load module " + path + ": " + error);
  effect_main_ = reinterpret_cast<PF_EffectMainFunc>(Symbol(handle_, "EffectMain"));
  data_entry_ = reinterpret_cast<PF_PluginDataEntryFunc>(Symbol(handle_, "PluginDataEntryFunction"));
  if (!effect_main_ || !data_entry_) {
    Close(handle_);
    handle_ = nullptr;
    throw std::runtime_error("module " + path + " lacks EffectMain or PluginDataEntryFunction");
  }
}

Module::~Module() {
  if (handle_) Close(handle_);
}

PluginInfo Module::Describe(PF_Err* result) const {
  PluginInfo info;
  const PF_Err err = data_entry_(&info, Record);
  if (result) *result = err;
  return info;
}

}  // namespace tavu::hostsim
