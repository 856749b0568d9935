#include "tools/atomic_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "tools/image_io.h"

namespace tavu::render {
namespace {

[[noreturn]] void Fail(const std::string& path, const std::string& detail) {
  throw ImageError(ImageErrorKind::kWriteFailed, path + ": " + detail);
}

// The folder part of a path as the system resolves it: "." for a bare name.
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Where a write to `path` lands: `path` itself, or, when it is a symbolic link, the file at the
// end of its chain of links, which need not exist yet (a dangling link's target is created).
std::string ResolveOutput(const std::string& path) {
  std::string current = path;
  // The system's own limit on links followed in one path lookup.
  for (int hops = 0; hops < 40; ++hops) {
    struct stat status {};
    // Not there, or not a link (or not to be inspected): the write lands here, and creating the
    // file reports any problem with it.
    if (::lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return current;
    std::vector<char> link(static_cast<std::size_t>(status.st_size) + 256);
    const ssize_t length = ::readlink(current.c_str(), link.data(), link.size());
    if (length <= 0 || static_cast<std::size_t>(length) == link.size()) return current;
    const std::string target(link.data(), static_cast<std::size_t>(length));
    // A relative link is relative to the folder that holds it.
    current = target[0] == '/' ? target : FolderOf(current) + "/" + target;
  }
  Fail(path, "too many levels of symbolic links");
}

// ---- what a signal handler may see --------------------------------------------------------------
//
// The handler runs at any moment, on any thread, and may only read memory that is never half
// written: a fixed table of paths, each published by an atomic state once it is complete.

constexpr int kSlots = 16;  // files pending at once; more are simply not removed by a signal
constexpr std::size_t kPathBytes = 4096;
enum SlotState : int { kFree, kFilling, kPending };

struct Slot {
  std::atomic<int> state{kFree};
  char path[kPathBytes];
};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

Slot g_slots[kSlots];

int Register(const std::string& path) {
  if (path.size() >= kPathBytes) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (g_slots[i].state.compare_exchange_strong(expected, kFilling)) {
      std::memcpy(g_slots[i].path, path.c_str(), path.size() + 1);
      g_slots[i].state.store(kPending, std::memory_order_release);
      return i;
    }
  }
  return -1;
}

void Unregister(int slot) {
  if (slot >= 0) g_slots[slot].state.store(kFree, std::memory_order_release);
}

// Only a file is replaced: a folder, device or pipe at the output (or at the end of its links)
// stays as it is, whatever the rights of the user running this.
void RequireFileOrNothing(const std::string& path, const std::string& resolved) {
  struct stat status {};
  if (::stat(resolved.c_str(), &status) != 0 || S_ISREG(status.st_mode)) return;
  if (S_ISDIR(status.st_mode)) Fail(path, "a folder is in the way of the output");
  Fail(path, "not a regular file; only a file is replaced by the output");
}

// Every signal that ends the process by default and can be caught, except those that report a
// fault in the program itself (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP, SIGSYS, SIGEMT):
// there the process is in no state to be trusted with cleaning up. SIGXFSZ is ignored instead
// (see RemovePendingFilesOnSignals). The real-time signals, which also end the process by
// default, are not constants and are added by ForEachCleanupSignal.
// clang-format off
constexpr int kCleanupSignals[] = {
    SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM,
    SIGPROF,
#if defined(SIGPOLL) && !(defined(SIGEMT) && SIGEMT == SIGPOLL)
    // Linux's SIGIO; the BSDs' and macOS's SIGIO is ignored by default and stays out.
    SIGPOLL,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
};
// clang-format on

template <class Fn>
void ForEachCleanupSignal(Fn fn) {
  for (int sig : kCleanupSignals) fn(sig);
#if defined(SIGRTMIN) && defined(SIGRTMAX)
  for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) fn(sig);
#endif
}

sigset_t EmptySignalSet() {
  sigset_t set;
  sigemptyset(&set);
  return set;
}

// The cleanup signals whose handler RemovePendingFilesOnSignals installed: written before the
// program starts any thread, only read after.
sigset_t g_taken = EmptySignalSet();

// Only async-signal-safe calls: unlink, sigaction, raise. The signal is blocked while its
// handler runs, so the raise takes effect, with the default action, once the handler returns.
extern "C" void RemovePendingFilesAndDie(int sig) {
  const int savedErrno = errno;
  for (Slot& slot : g_slots) {
    if (slot.state.load(std::memory_order_acquire) == kPending) ::unlink(slot.path);
  }
  struct sigaction dflt {};
  dflt.sa_handler = SIG_DFL;
  sigemptyset(&dflt.sa_mask);
  ::sigaction(sig, &dflt, nullptr);
  ::raise(sig);
  errno = savedErrno;
}

}  // namespace

void CheckOutputWritable(const std::string& path) {
  const std::string resolved = ResolveOutput(path);
  const std::string folder = FolderOf(resolved);
  struct stat status {};
  if (::stat(folder.c_str(), &status) != 0) {
    if (errno == ENOENT) Fail(path, "the folder " + folder + " does not exist");
    if (errno == ENOTDIR) Fail(path, folder + " is not a folder");
    Fail(path, "cannot use the folder " + folder + ": " + std::strerror(errno));
  }
  if (!S_ISDIR(status.st_mode)) Fail(path, folder + " is not a folder");
  if (::access(folder.c_str(), W_OK | X_OK) != 0) {
    Fail(path, "cannot write in the folder " + folder + ": " + std::strerror(errno));
  }
  RequireFileOrNothing(path, resolved);
}

void RemovePendingFilesOnSignals() {
  // Only a signal whose action is the default is taken over: one ignored when the program was
  // started stays ignored, and a handler set before main (a sampling profiler's SIGPROF, whose
  // timer is already running) stays in place.
  const auto isDefault = [](int sig) {
    struct sigaction previous {};
    return ::sigaction(sig, nullptr, &previous) == 0 && (previous.sa_flags & SA_SIGINFO) == 0 &&
           previous.sa_handler == SIG_DFL;
  };
  // Past the file-size limit the system would end the process by SIGXFSZ mid-write; ignored, the
  // write fails with EFBIG and takes the path of any failed write: told, and its file removed. A
  // handler of its own returns to the same failed write.
  if (isDefault(SIGXFSZ)) ::signal(SIGXFSZ, SIG_IGN);
  ForEachCleanupSignal([&isDefault](int sig) {
    if (isDefault(sig)) sigaddset(&g_taken, sig);
  });
  struct sigaction action {};
  action.sa_handler = RemovePendingFilesAndDie;
  // One cleanup at a time: the other signals wait until the first has ended the process.
  action.sa_mask = g_taken;
  ForEachCleanupSignal([&action](int sig) {
    if (sigismember(&g_taken, sig) == 1) ::sigaction(sig, &action, nullptr);
  });
}

CleanupSignalsHeld::CleanupSignalsHeld() { ::pthread_sigmask(SIG_BLOCK, &g_taken, &saved_); }

CleanupSignalsHeld::~CleanupSignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }

PendingFile::PendingFile(const std::string& target)
    : target_(target), resolved_(ResolveOutput(target)) {
  RequireFileOrNothing(target_, resolved_);
  std::string folder = FolderOf(resolved_);
  if (folder.back() != '/') folder += '/';
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  int error = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, ".tavu-%08x%04x.tmp", static_cast<unsigned>(random()),
                  counter.fetch_add(1) & 0xFFFFu);
    temp_ = folder + name;
    CleanupSignalsHeld held;
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      slot_ = Register(temp_);
      return;
    }
    error = errno;
    if (error != EEXIST) break;
  }
  Fail(target, std::string("cannot create the output: ") + std::strerror(error));
}

PendingFile::~PendingFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_) {
    CleanupSignalsHeld held;
    ::unlink(temp_.c_str());
    Unregister(slot_);
  }
}

void PendingFile::Commit() {
  // A replaced file keeps its permissions; a new one has what the umask allows.
  struct stat existing {};
  if (::stat(resolved_.c_str(), &existing) == 0 && S_ISREG(existing.st_mode) &&
      ::fchmod(fd_, existing.st_mode & 0777) != 0) {
    Fail(target_, std::string("cannot keep the output's permissions: ") + std::strerror(errno));
  }
  // fsync first: a rename that reaches the disk before the data would leave an empty file in
  // place of a good one after a crash.
  const bool synced = ::fsync(fd_) == 0;
  const int syncError = errno;
  const bool closed = ::close(fd_) == 0;
  const int closeError = errno;
  fd_ = -1;
  if (!synced) Fail(target_, std::strerror(syncError));
  if (!closed) Fail(target_, std::strerror(closeError));
  CleanupSignalsHeld held;
  if (std::rename(temp_.c_str(), resolved_.c_str()) != 0) {
    Fail(target_, std::string("cannot replace the output: ") + std::strerror(errno));
  }
  Unregister(slot_);
  slot_ = -1;
  committed_ = true;
}

}  // namespace tavu::render
