// Output files replaced whole: the data goes into a new file in the folder the output lands in,
// which is renamed over the output only once it is complete, so a failed or interrupted write
// leaves neither a partial output nor a damaged earlier one. Every failure throws ImageError
// (kWriteFailed) naming the path the caller gave.
#pragma once

#include <signal.h>

#include <string>

namespace tavu::render {

// Refuses, before any work is spent on it, an output that cannot be written: its folder is
// missing, not a folder or not writable, or something other than a file (a folder, a device, a
// pipe) is where the output would land.
void CheckOutputWritable(const std::string& path);

// Makes every catchable signal that would end the process, other than those reporting a fault in
// the program itself, remove every PendingFile not yet committed before the process ends by the
// signal as it would have without the handler. A signal the process ignores stays ignored, and
// one that already has a handler (a profiler's, loaded with the program) keeps it. SIGXFSZ is
// ignored unless it has a handler, so that a write past the file-size limit fails as any write
// error does. For a program's main, before it starts any thread: a library must not take over
// signals.
void RemovePendingFilesOnSignals();

// Holds back the cleanup signals, those RemovePendingFilesOnSignals took over, on the calling
// thread while it lives: PendingFile holds them while a file comes into being or is renamed, so
// that the handler never runs between the two steps and misses a file or removes a moved one. A
// thread started meanwhile inherits the mask and keeps them held back for good, so they reach only
// a thread that takes them where the pending files are known: every thread that may live while a
// file is pending is started under one.
class CleanupSignalsHeld {
 public:
  CleanupSignalsHeld();
  ~CleanupSignalsHeld();
  CleanupSignalsHeld(const CleanupSignalsHeld&) = delete;
  CleanupSignalsHeld& operator=(const CleanupSignalsHeld&) = delete;

 private:
  sigset_t saved_;
};

// A new file for the output at `target`, under a short temporary name in the folder the output
// lands in (beside it, not in a temp directory, because rename() replaces atomically only within
// one file system; short, so that any name the folder accepts for the output works). Commit()
// moves it over the output, with the permission bits of the file it replaces; if Commit() never
// ran, the destructor removes it. Only a file is replaced: anything else at the output is refused.
class PendingFile {
 public:
  explicit PendingFile(const std::string& target);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Its temporary name is not handed out: messages about the file name the output it becomes.
  int fd() const { return fd_; }

  void Commit();

 private:
  std::string target_;    // as the caller named it, for messages
  std::string resolved_;  // where it lands
  std::string temp_;
  int fd_ = -1;
  int slot_ = -1;  // its entry for the signal handler, or -1
  bool committed_ = false;
};

}  // namespace tavu::render
