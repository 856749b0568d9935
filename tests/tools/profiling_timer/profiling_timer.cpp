// Loaded into tavu-render with LD_PRELOAD, it does before main what a sampling profiler does: a
// SIGPROF handler of its own, and a timer that sends SIGPROF for every millisecond of CPU time.
#include <signal.h>
#include <sys/time.h>

namespace {

void Sample(int, siginfo_t*, void*) {}

__attribute__((constructor)) void StartProfiling() {
  struct sigaction action {};
  action.sa_sigaction = Sample;
  action.sa_flags = SA_SIGINFO | SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGPROF, &action, nullptr);
  const itimerval everyMillisecond{{0, 1000}, {0, 1000}};
  setitimer(ITIMER_PROF, &everyMillisecond, nullptr);
}

}  // namespace
