// The one switch between the two platforms' float arithmetic. The Windows and macOS builds of an
// effect compute a few spots differently (division instead of multiplication by a reciprocal, how
// a NaN travels through a clamp), and each variant keeps its own platform's results to the bit,
// so a project renders on each platform as it always has there. Every file that tests
// TAVU_MACOS_ARITHMETIC includes this header, so all of a module's code agrees on it: the build
// defines it to 1 for the macOS variant, and where the build says nothing an Apple compiler
// selects 1 and every other compiler 0.
#pragma once

#include <cfloat>

#ifndef TAVU_MACOS_ARITHMETIC
#if defined(__APPLE__)
#define TAVU_MACOS_ARITHMETIC 1
#else
#define TAVU_MACOS_ARITHMETIC 0
#endif
#endif

#if TAVU_MACOS_ARITHMETIC != 0 && TAVU_MACOS_ARITHMETIC != 1
#error "TAVU_MACOS_ARITHMETIC is 1 (the macOS arithmetic) or 0 (the Windows arithmetic)"
#endif

// Bit-exact results need every float operation rounded to 32 bits, not kept in x87 registers.
#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD != 0
#error "float expressions must be evaluated in float precision (use SSE, not x87)"
#endif

// Code whose results depend on the switch is declared inside `inline namespace TAVU_ARITHMETIC`,
// which is named after the variant. The two variants' functions then have different link names:
// the linker can never keep one variant's copy of an inline function for a file of the other
// (the framework's files, shared by both variants' modules here, among them), and a file that
// calls a function compiled only for the other variant fails to link instead of mixing the two.
#if TAVU_MACOS_ARITHMETIC
#define TAVU_ARITHMETIC macos_arithmetic
#else
#define TAVU_ARITHMETIC windows_arithmetic
#endif

namespace tavu {
inline namespace TAVU_ARITHMETIC {

inline constexpr bool kMacArithmetic = TAVU_MACOS_ARITHMETIC != 0;

}  // namespace TAVU_ARITHMETIC
}  // namespace tavu
