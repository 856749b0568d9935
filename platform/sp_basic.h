// The host's basic suite: the one table through which every other suite is acquired by
// name and version.
#pragma once

#include <stddef.h>

#include "platform/pf_basic.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef A_long SPErr;
typedef int32_t SPBoolean;

enum { kSPNoError = 0, kSPSuiteNotFoundError = 0x21537569 /* '!Sui' */ };

typedef struct SPBasicSuite {
  SPErr (*AcquireSuite)(const char* name, int32_t version, const void** suite);
  SPErr (*ReleaseSuite)(const char* name, int32_t version);
  SPBoolean (*IsEqual)(const char* token1, const char* token2);
  SPErr (*AllocateBlock)(size_t size, void** block);
  SPErr (*FreeBlock)(void* block);
  SPErr (*ReallocateBlock)(void* block, size_t new_size, void** new_block);
  SPErr (*Undefined)(void);
} SPBasicSuite;

#ifdef __cplusplus
}
#endif
