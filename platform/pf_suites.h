// Function tables of the host suites this project acquires, with the names and versions under
// which the host registers them. Names are spelled exactly as registered, case included.
#pragma once

#include "platform/pf_effect.h"

#ifdef __cplusplus
extern "C" {
#endif

// ---- effect-side suites --------------------------------------------------------------------
#define kPFHandleSuite "PF Handle Suite"
#define kPFHandleSuiteVersion 2
typedef struct PF_HandleSuite {
  PF_Handle (*host_new_handle)(A_HandleSize size);
  void* (*host_lock_handle)(PF_Handle pf_handle);
  void (*host_unlock_handle)(PF_Handle pf_handle);
  void (*host_dispose_handle)(PF_Handle pf_handle);
  A_HandleSize (*host_get_handle_size)(PF_Handle pf_handle);
  PF_Err (*host_resize_handle)(A_HandleSize new_sizeL, PF_Handle* handlePH);
} PF_HandleSuite;

#define kPFANSISuite "PF ANSI Suite"
#define kPFANSISuiteVersion 1
// The suite serves the same functions, in the same order, as the utility callbacks' ANSI set.
typedef PF_ANSICallbacks PF_ANSICallbacksSuite;

#define kPFWorldSuite "PF World Suite"
#define kPFWorldSuiteVersion 2
typedef struct PF_WorldSuite {
  PF_Err (*PF_NewWorld)(PF_ProgPtr effect_ref, A_long widthL, A_long heightL, PF_Boolean clear_pixB,
                        PF_PixelFormat pixel_format, PF_EffectWorld* worldP);
  PF_Err (*PF_DisposeWorld)(PF_ProgPtr effect_ref, PF_EffectWorld* worldP);
  PF_Err (*PF_GetPixelFormat)(const PF_EffectWorld* worldP, PF_PixelFormat* pixel_formatP);
} PF_WorldSuite;

#define kPFPixelFormatSuite "PF Pixel Format Suite"
#define kPFPixelFormatSuiteVersion 1
typedef struct PF_PixelFormatSuite {
  PF_Err (*AddSupportedPixelFormat)(PF_ProgPtr effect_ref, PrPixelFormat pixelFormat);
  PF_Err (*ClearSupportedPixelFormats)(PF_ProgPtr effect_ref);
  PF_Err (*NewWorldOfPixelFormat)(PF_ProgPtr effect_ref, A_u_long width, A_u_long height,
                                  PF_WorldFlags flags, PrPixelFormat pixelFormat,
                                  PF_EffectWorld* world);
  PF_Err (*DisposeWorld)(PF_ProgPtr effect_ref, const PF_EffectWorld* world);
  PF_Err (*GetPixelFormat)(const PF_EffectWorld* world, PrPixelFormat* pixelFormat);
  PF_Err (*GetBlackForPixelFormat)(PrPixelFormat pixelFormat, void* pixelData);
  PF_Err (*GetWhiteForPixelFormat)(PrPixelFormat pixelFormat, void* pixelData);
  PF_Err (*ConvertColorToPixelFormattedData)(PrPixelFormat pixelFormat, float alpha, float red,
                                             float green, float blue, void* pixelData);
} PF_PixelFormatSuite;

#define kPFIterate8Suite "PF Iterate8 Suite"
#define kPFIterate16Suite "PF iterate16 Suite"
#define kPFIterateFloatSuite "PF iterateFloat Suite"
#define kPFIterateSuiteVersion 1

typedef struct PF_Iterate8Suite {
  PF_Err (*iterate)(PF_InData* in_data, A_long progress_base, A_long progress_final,
                    PF_EffectWorld* src, const PF_Rect* area, void* refcon,
                    PF_IteratePixel8Func pix_fn, PF_EffectWorld* dst);
  PF_Err (*iterate_origin)(PF_InData* in_data, A_long progress_base, A_long progress_final,
                           PF_EffectWorld* src, const PF_Rect* area, const PF_Point* origin,
                           void* refcon, PF_IteratePixel8Func pix_fn, PF_EffectWorld* dst);
  void* iterate_lut;
  void* iterate_origin_non_clip_src;
  void* iterate_generic;
} PF_Iterate8Suite;

typedef struct PF_Iterate16Suite {
  PF_Err (*iterate)(PF_InData* in_data, A_long progress_base, A_long progress_final,
                    PF_EffectWorld* src, const PF_Rect* area, void* refcon,
                    PF_IteratePixel16Func pix_fn, PF_EffectWorld* dst);
  PF_Err (*iterate_origin)(PF_InData* in_data, A_long progress_base, A_long progress_final,
                           PF_EffectWorld* src, const PF_Rect* area, const PF_Point* origin,
                           void* refcon, PF_IteratePixel16Func pix_fn, PF_EffectWorld* dst);
  void* iterate_origin_non_clip_src;
} PF_Iterate16Suite;

typedef struct PF_IterateFloatSuite {
  PF_Err (*iterate)(PF_InData* in_data, A_long progress_base, A_long progress_final,
                    PF_EffectWorld* src, const PF_Rect* area, void* refcon,
                    PF_IteratePixelFloatFunc pix_fn, PF_EffectWorld* dst);
  PF_Err (*iterate_origin)(PF_InData* in_data, A_long progress_base, A_long progress_final,
                           PF_EffectWorld* src, const PF_Rect* area, const PF_Point* origin,
                           void* refcon, PF_IteratePixelFloatFunc pix_fn, PF_EffectWorld* dst);
  void* iterate_origin_non_clip_src;
} PF_IterateFloatSuite;

#define kPFSampling8Suite "PF Sampling8 Suite"
#define kPFSampling16Suite "PF Sampling16 Suite"
#define kPFSamplingFloatSuite "PF SamplingFloat Suite"
#define kPFSamplingSuiteVersion 1

typedef struct PF_Sampling8Suite {
  PF_Err (*nn_sample)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params,
                      PF_Pixel* dst_pixel);
  PF_Err (*subpixel_sample)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y,
                            const PF_SampPB* params, PF_Pixel* dst_pixel);
  PF_Err (*area_sample)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params,
                        PF_Pixel* dst_pixel);
} PF_Sampling8Suite;

typedef struct PF_Sampling16Suite {
  PF_Err (*nn_sample16)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params,
                        PF_Pixel16* dst_pixel);
  PF_Err (*subpixel_sample16)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y,
                              const PF_SampPB* params, PF_Pixel16* dst_pixel);
  PF_Err (*area_sample16)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y, const PF_SampPB* params,
                          PF_Pixel16* dst_pixel);
} PF_Sampling16Suite;

typedef struct PF_SamplingFloatSuite {
  PF_Err (*nn_sample_float)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y,
                            const PF_SampPB* params, PF_PixelFloat* dst_pixel);
  PF_Err (*subpixel_sample_float)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y,
                                  const PF_SampPB* params, PF_PixelFloat* dst_pixel);
  PF_Err (*area_sample_float)(PF_ProgPtr effect_ref, PF_Fixed x, PF_Fixed y,
                              const PF_SampPB* params, PF_PixelFloat* dst_pixel);
} PF_SamplingFloatSuite;

// ---- AEGP suites ---------------------------------------------------------------------------
typedef struct _AEGP_GlobalRefcon* AEGP_GlobalRefcon;
typedef struct _AEGP_MemHandle* AEGP_MemHandle;
typedef A_long A_Err;
typedef A_long AEGP_MemFlag;
typedef uint64_t AEGP_MemSize;

#define kAEGPUtilitySuite "AEGP Utility Suite"
#define kAEGPUtilitySuiteVersion7 7
#define kAEGPUtilitySuiteVersion11 11

// The entries before RegisterWithAEGP and ExecuteScript are placeholders that keep the
// offsets of the two functions this project calls.
typedef struct AEGP_UtilitySuite7 {
  void* AEGP_ReportInfo;
  void* AEGP_GetDriverPluginInitFuncVersion;
  void* AEGP_GetDriverImplementationVersion;
  void* AEGP_StartQuietErrors;
  void* AEGP_EndQuietErrors;
  void* AEGP_GetLastErrorMessage;
  void* AEGP_StartUndoGroup;
  void* AEGP_EndUndoGroup;
  A_Err (*AEGP_RegisterWithAEGP)(AEGP_GlobalRefcon global_refcon, const A_char* plugin_name,
                                 AEGP_PluginID* plugin_id);
} AEGP_UtilitySuite7;

typedef struct AEGP_UtilitySuite11 {
  void* AEGP_ReportInfo;
  void* AEGP_ReportInfoUnicode;
  void* AEGP_GetDriverPluginInitFuncVersion;
  void* AEGP_GetDriverImplementationVersion;
  void* AEGP_StartQuietErrors;
  void* AEGP_EndQuietErrors;
  void* AEGP_GetLastErrorMessage;
  void* AEGP_StartUndoGroup;
  void* AEGP_EndUndoGroup;
  A_Err (*AEGP_RegisterWithAEGP)(AEGP_GlobalRefcon global_refcon, const A_char* plugin_name,
                                 AEGP_PluginID* plugin_id);
  void* AEGP_GetMainHWND;
  void* AEGP_ShowHideAllFloaters;
  void* AEGP_PaintPalGetForeColor;
  void* AEGP_PaintPalGetBackColor;
  void* AEGP_PaintPalSetForeColor;
  void* AEGP_PaintPalSetBackColor;
  void* AEGP_CharPalGetFillColor;
  void* AEGP_CharPalGetStrokeColor;
  void* AEGP_CharPalSetFillColor;
  void* AEGP_CharPalSetStrokeColor;
  void* AEGP_CharPalIsFillColorUIFrontmost;
  void* AEGP_ConvertFpLongToHSFRatio;
  void* AEGP_ConvertHSFRatioToFpLong;
  void* AEGP_CauseIdleRoutinesToBeCalled;
  void* AEGP_GetSuppressInteractiveUI;
  void* AEGP_WriteToOSConsole;
  void* AEGP_WriteToDebugLog;
  void* AEGP_IsScriptingAvailable;
  A_Err (*AEGP_ExecuteScript)(AEGP_PluginID plugin_id, const A_char* utf8_script,
                              A_Boolean platform_encodingB, AEGP_MemHandle* result,
                              AEGP_MemHandle* error);
} AEGP_UtilitySuite11;

#define kAEGPMemorySuite "AEGP Memory Suite"
#define kAEGPMemorySuiteVersion1 1
typedef struct AEGP_MemorySuite1 {
  A_Err (*AEGP_NewMemHandle)(AEGP_PluginID plugin_id, const A_char* what, AEGP_MemSize size,
                             AEGP_MemFlag flags, AEGP_MemHandle* mem);
  A_Err (*AEGP_FreeMemHandle)(AEGP_MemHandle mem);
  A_Err (*AEGP_LockMemHandle)(AEGP_MemHandle mem, void** ptr_to_ptr);
  A_Err (*AEGP_UnlockMemHandle)(AEGP_MemHandle mem);
  A_Err (*AEGP_GetMemHandleSize)(AEGP_MemHandle mem, AEGP_MemSize* size);
  A_Err (*AEGP_ResizeMemHandle)(const A_char* what, AEGP_MemSize new_size, AEGP_MemHandle mem);
  A_Err (*AEGP_SetMemReportingOn)(A_Boolean turn_OnB);
  A_Err (*AEGP_GetMemStats)(AEGP_PluginID plugin_id, A_long* count, A_long* size);
} AEGP_MemorySuite1;

// ---- drawing suites (acquired as a set by the suite helpers; no function is called) --------
#define kDRAWBOT_DrawSuite "DRAWBOT Draw Suite"
#define kDRAWBOT_DrawSuite_Version1 1
#define kDRAWBOT_SupplierSuite "DRAWBOT Supplier Suite"
#define kDRAWBOT_SupplierSuite_Version1 1
#define kDRAWBOT_SurfaceSuite "DRAWBOT Surface Suite"
#define kDRAWBOT_SurfaceSuite_Version2 2
#define kDRAWBOT_PathSuite "DRAWBOT Path Suite"
#define kDRAWBOT_PathSuite_Version1 1

typedef struct DRAWBOT_DrawbotSuite1 { void* fn[8]; } DRAWBOT_DrawbotSuite1;
typedef struct DRAWBOT_SupplierSuite1 { void* fn[24]; } DRAWBOT_SupplierSuite1;
typedef struct DRAWBOT_SurfaceSuite2 { void* fn[24]; } DRAWBOT_SurfaceSuite2;
typedef struct DRAWBOT_PathSuite1 { void* fn[16]; } DRAWBOT_PathSuite1;

typedef struct DRAWBOT_Suites {
  DRAWBOT_DrawbotSuite1* drawbot_suiteP;
  DRAWBOT_SupplierSuite1* supplier_suiteP;
  DRAWBOT_SurfaceSuite2* surface_suiteP;
  DRAWBOT_PathSuite1* path_suiteP;
} DRAWBOT_Suites;

#ifdef __cplusplus
}
#endif
