// Basic host types: integers, error codes, command numbers, fixed point, rectangles, pixels,
// four-character codes and the output flags. Plain C layout so the same records work for a
// module built with any compiler the host may load.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t A_long;
typedef uint32_t A_u_long;
typedef int16_t A_short;
typedef uint16_t A_u_short;
typedef char A_char;
typedef uint8_t A_u_char;
typedef uint8_t A_Boolean;
typedef uint8_t PF_Boolean;
typedef double PF_FpLong;
typedef float PF_FpShort;
typedef uint64_t A_HandleSize;

typedef A_long PF_Err;
typedef A_long PF_Cmd;
typedef A_long PF_Fixed;        // 16.16 signed fixed point
typedef A_long PF_ParamIndex;
typedef A_long PF_ParamValue;
typedef A_long PF_ParamType;
typedef A_long PF_ParamFlags;
typedef A_long PF_ParamUIFlags;
typedef A_long PF_OutFlags;
typedef A_long PF_OutFlags2;
typedef A_long PF_InFlags;
typedef A_long PF_Quality;
typedef A_long PF_Field;
typedef A_long PF_WorldFlags;
typedef A_long PF_ChannelMask;
typedef A_long PF_RenderOutputFlags;
typedef A_long PF_PixelFormat;  // four-character code, first character in the lowest byte
typedef A_long PrPixelFormat;   // the same codes as Premiere Pro names them
typedef A_long AEGP_PluginID;
typedef void* PF_ProgPtr;       // the host's opaque reference to one effect instance
typedef void** PF_Handle;       // a host handle: *handle is the data pointer
typedef void* PF_PixelPtr;

// ---- error codes ---------------------------------------------------------------------------
enum {
  PF_Err_NONE = 0,
  PF_Err_OUT_OF_MEMORY = 4,
  PF_Err_INTERNAL_STRUCT_DAMAGED = 512,
  PF_Err_INVALID_INDEX = 513,
  PF_Err_UNRECOGNIZED_PARAM_TYPE = 514,
  PF_Err_INVALID_CALLBACK = 515,
  PF_Err_BAD_CALLBACK_PARAM = 516,
  PF_Interrupt_CANCEL = 517,
  PF_Err_CANNOT_PARSE_KEYFRAME_TEXT = 518
};

// ---- commands ------------------------------------------------------------------------------
enum {
  PF_Cmd_ABOUT = 0,
  PF_Cmd_GLOBAL_SETUP = 1,
  PF_Cmd_UNUSED_0 = 2,
  PF_Cmd_GLOBAL_SETDOWN = 3,
  PF_Cmd_PARAMS_SETUP = 4,
  PF_Cmd_SEQUENCE_SETUP = 5,
  PF_Cmd_SEQUENCE_RESETUP = 6,
  PF_Cmd_SEQUENCE_FLATTEN = 7,
  PF_Cmd_SEQUENCE_SETDOWN = 8,
  PF_Cmd_DO_DIALOG = 9,
  PF_Cmd_FRAME_SETUP = 10,
  PF_Cmd_RENDER = 11,
  PF_Cmd_FRAME_SETDOWN = 12,
  PF_Cmd_USER_CHANGED_PARAM = 13,
  PF_Cmd_UPDATE_PARAMS_UI = 14,
  PF_Cmd_EVENT = 15,
  PF_Cmd_GET_EXTERNAL_DEPENDENCIES = 16,
  PF_Cmd_COMPLETELY_GENERAL = 17,
  PF_Cmd_QUERY_DYNAMIC_FLAGS = 18,
  PF_Cmd_AUDIO_RENDER = 19,
  PF_Cmd_AUDIO_SETUP = 20,
  PF_Cmd_AUDIO_SETDOWN = 21,
  PF_Cmd_ARBITRARY_CALLBACK = 22,
  PF_Cmd_SMART_PRE_RENDER = 23,
  PF_Cmd_SMART_RENDER = 24,
  PF_Cmd_NUM_CMDS = 25
};

// ---- output flags --------------------------------------------------------------------------
enum {
  PF_OutFlag_NONE = 0,
  PF_OutFlag_USE_OUTPUT_EXTENT = 1 << 6,
  PF_OutFlag_DISPLAY_ERROR_MESSAGE = 1 << 8,
  PF_OutFlag_PIX_INDEPENDENT = 1 << 10,
  PF_OutFlag_DEEP_COLOR_AWARE = 1 << 25
};
enum {
  PF_OutFlag2_NONE = 0,
  PF_OutFlag2_DOESNT_NEED_EMPTY_PIXELS = 1 << 6,
  PF_OutFlag2_SUPPORTS_SMART_RENDER = 1 << 10,
  PF_OutFlag2_FLOAT_COLOR_AWARE = 1 << 12,
  PF_OutFlag2_PPRO_DO_NOT_CLONE_SEQUENCE_DATA_FOR_RENDER = 1 << 15,
  PF_OutFlag2_SUPPORTS_THREADED_RENDERING = 1 << 27,
  PF_OutFlag2_MUTABLE_RENDER_SEQUENCE_DATA_SLOWER = 1 << 28
};

// ---- four-character codes ------------------------------------------------------------------
// Pixel formats compare with the first character in the lowest byte ('argb' is 0x62677261);
// the host id and the plug-in kind with the first character in the highest byte.
#define PF_FOURCC_LOW(a, b, c, d) \
  ((A_long)((uint32_t)(uint8_t)(a) | ((uint32_t)(uint8_t)(b) << 8) | \
            ((uint32_t)(uint8_t)(c) << 16) | ((uint32_t)(uint8_t)(d) << 24)))
#define PF_FOURCC_HIGH(a, b, c, d) \
  ((A_long)(((uint32_t)(uint8_t)(a) << 24) | ((uint32_t)(uint8_t)(b) << 16) | \
            ((uint32_t)(uint8_t)(c) << 8) | (uint32_t)(uint8_t)(d)))

enum {
  PF_PixelFormat_ARGB32 = 0x62677261,            // 'argb', 8-bit ARGB
  PF_PixelFormat_ARGB64 = 0x36316561,            // 'ae16', 16-bit ARGB, full scale 32768
  PF_PixelFormat_ARGB128 = 0x32336561,           // 'ae32', float ARGB
  PrPixelFormat_BGRA_4444_8u = 0x61726762,       // 'bgra', 8-bit BGRA
  PrPixelFormat_BGRA_4444_32f = 0x61724742,      // 'BGra', float BGRA
  PrPixelFormat_BGRA_4444_32f_Linear = 0x4C614742 // 'BGaL', float BGRA, linear
};

enum {
  PF_APPL_ID_PREMIERE = 0x50724D72,  // 'PrMr'
  PF_APPL_ID_AFTER_EFFECTS = 0x46584354,  // 'FXTC'
  PF_PLUGIN_KIND_EFFECT = 0x65464B54  // 'eFKT'
};

// ---- geometry ------------------------------------------------------------------------------
typedef struct PF_Point {
  A_long h, v;
} PF_Point;

typedef struct PF_Rect {
  A_long left, top, right, bottom;
} PF_Rect;

typedef struct PF_LRect {
  A_long left, top, right, bottom;
} PF_LRect;

typedef PF_LRect PF_UnionableRect;

typedef struct PF_RationalScale {
  A_long num;
  A_u_long den;
} PF_RationalScale;

typedef struct PF_SpecVersion {
  A_short major;
  A_short minor;
} PF_SpecVersion;

// ---- pixels --------------------------------------------------------------------------------
typedef struct PF_Pixel {
  A_u_char alpha, red, green, blue;
} PF_Pixel;
typedef PF_Pixel PF_Pixel8;
typedef PF_Pixel PF_UnionablePixel;

typedef struct PF_Pixel16 {
  A_u_short alpha, red, green, blue;  // full scale is 32768
} PF_Pixel16;

typedef struct PF_PixelFloat {
  PF_FpShort alpha, red, green, blue;
} PF_PixelFloat;
typedef PF_PixelFloat PF_Pixel32;

#ifdef __cplusplus
}
#endif
