#pragma once

// Only the two entry points leave a module; everything else stays hidden so that several
// modules can share one host process without their symbols meeting.
#if defined(_WIN32)
#define TAVU_EXPORT __declspec(dllexport)
#else
#define TAVU_EXPORT __attribute__((visibility("default")))
#endif
