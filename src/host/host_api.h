/* The compositing host's effect interface as this plug-in sees it: command selectors, the
 * input/output records, parameter definitions, pixel worlds, result codes, flags and the
 * callback suites a host hands over. Plain C layout so that a host written in C can use it too.
 * Pixels are 8-bit PF_Pixel values (alpha, red, green, blue), straight colour, rows top first. */
#ifndef SHIMMERLY_HOST_HOST_API_H
#define SHIMMERLY_HOST_HOST_API_H

#include <stdint.h>

#include "core/pixel.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32) && !defined(_WIN64)
#define PF_CALL __cdecl
#else
#define PF_CALL
#endif

typedef int32_t PF_Err;
typedef int32_t PF_Fixed; /* 16.16 fixed point */
typedef void* PF_ProgPtr; /* the host's opaque reference to one effect instance */
typedef void* PF_Handle;  /* host memory handle */

/* ---- Command selectors ---- */
typedef enum {
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
  PF_Cmd_USER_CHANGED_PARAM = 13
} PF_CmdSelector;
typedef uint32_t PF_Cmd;

/* ---- Result codes ---- */
enum {
  PF_Err_NONE = 0,
  PF_Err_OUT_OF_MEMORY = 4,
  PF_Err_INTERNAL_STRUCT_DAMAGED = 512,
  PF_Err_INVALID_INDEX = 513,
  PF_Err_UNRECOGNIZED_PARAM_TYPE = 514,
  PF_Err_INVALID_CALLBACK = 515,
  PF_Err_BAD_CALLBACK_PARAM = 516,
  PF_Interrupt_CANCEL = 517 /* what a host's abort callback answers when the user cancels */
};

/* ---- Out flags (PF_OutData.out_flags) ---- */
enum {
  PF_OutFlag_NONE = 0,
  PF_OutFlag_DISPLAY_ERROR_MESSAGE = 1 << 9,
  PF_OutFlag_FORCE_RERENDER = 1 << 17,
  PF_OutFlag_REFRESH_UI = 1 << 22,
  PF_OutFlag_SEND_UPDATE_PARAMS_UI = 1 << 26
};

/* ---- Out flags 2 (PF_OutData.out_flags2) ---- */
enum { PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG = 1 << 3 };

/* ---- Parameter types ---- */
typedef enum {
  PF_Param_LAYER = 0,
  PF_Param_SLIDER = 1,
  PF_Param_FIX_SLIDER = 2,
  PF_Param_ANGLE = 3,
  PF_Param_CHECKBOX = 4,
  PF_Param_COLOR = 5,
  PF_Param_POINT = 6,
  PF_Param_POPUP = 7,
  PF_Param_FLOAT_SLIDER = 10,
  PF_Param_GROUP_START = 13,
  PF_Param_GROUP_END = 14
} PF_ParamType;

/* ---- Parameter flags ---- */
enum {
  PF_ParamFlag_CANNOT_TIME_VARY = 1 << 1,
  PF_ParamFlag_COLLAPSE_TWIRLY = 1 << 5,
  PF_ParamFlag_SUPERVISE = 1 << 6
};

/* ---- Parameter user-interface flags ---- */
enum { PF_PUI_NO_ECW_UI = 1 << 3, PF_PUI_DISABLED = 1 << 5 };

/* ---- Parameter change flags ---- */
enum { PF_ChangeFlag_NONE = 0, PF_ChangeFlag_CHANGED_VALUE = 1 };

/* ---- Render quality ---- */
enum { PF_Quality_LO = 0, PF_Quality_HI = 1 };

/* ---- get_platform_data selectors ---- */
enum { PF_PlatData_MAIN_WND = 0, PF_PlatData_EXE_FILE_PATH = 3 };

#define PF_MAX_EFFECT_PARAM_NAME_LEN 31
#define PF_MAX_EFFECT_MSG_LEN 255

/* Four-character host codes, first character in the most significant byte. */
#define PF_FOURCC(a, b, c, d) \
  (((uint32_t)(a) << 24) | ((uint32_t)(b) << 16) | ((uint32_t)(c) << 8) | (uint32_t)(d))

typedef struct {
  int16_t major;
  int16_t minor;
} PF_SpecVersion;

typedef struct {
  int32_t num;
  uint32_t den;
} PF_RationalScale;

typedef struct {
  int32_t left, top, right, bottom;
} PF_Rect;

/* PF_Pixel (alpha, red, green, blue) comes from core/pixel.h, shared with the pixel kernels. */

/* A pixel world: width × height pixels, rows `rowbytes` apart, top row first. */
typedef struct {
  int32_t width;
  int32_t height;
  int32_t rowbytes;
  PF_Pixel* data;
  PF_RationalScale pix_aspect_ratio;
  uint32_t world_flags;
} PF_LayerDef;
typedef PF_LayerDef PF_EffectWorld;

/* ---- Parameter definitions ---- */
typedef struct {
  int32_t value;
  int32_t num_choices;
  int32_t dephault;
  const char* names; /* "A|B|C" */
} PF_PopupDef;

typedef struct {
  int32_t value;
  int32_t dephault;
  const char* name; /* text beside the box */
} PF_CheckBoxDef;

typedef struct {
  PF_Pixel value;
  PF_Pixel dephault;
} PF_ColorDef;

typedef struct {
  PF_Fixed value;
  PF_Fixed valid_min, valid_max;
  PF_Fixed slider_min, slider_max;
  PF_Fixed dephault;
  int16_t precision;
  int16_t display_flags;
} PF_FixedSliderDef;

typedef struct {
  double value;
  double phase;
  float valid_min, valid_max;
  float slider_min, slider_max;
  float dephault;
  int16_t precision;
  int16_t display_flags;
  float curve_tolerance;
} PF_FloatSliderDef;

typedef union {
  PF_LayerDef ld;
  PF_PopupDef pd;
  PF_CheckBoxDef bd;
  PF_ColorDef cd;
  PF_FixedSliderDef fd;
  PF_FloatSliderDef fs_d;
} PF_ParamDefUnion;

typedef struct {
  int32_t param_type; /* PF_ParamType */
  char name[PF_MAX_EFFECT_PARAM_NAME_LEN + 1];
  int32_t flags;
  int32_t ui_flags;
  int32_t uu_id; /* persistent id kept in the host's projects */
  int32_t change_flags;
  PF_ParamDefUnion u;
} PF_ParamDef;
typedef PF_ParamDef* PF_ParamList[];

/* Extra record of PF_Cmd_USER_CHANGED_PARAM. */
typedef struct {
  int32_t param_index;
} PF_UserChangedParamExtra;

/* ---- Callback suites ---- */
typedef struct {
  PF_Err(PF_CALL* add_param)(PF_ProgPtr effect_ref, int32_t index, PF_ParamDef* def);
  PF_Err(PF_CALL* progress)(PF_ProgPtr effect_ref, int32_t current, int32_t total);
  PF_Err(PF_CALL* abort)(PF_ProgPtr effect_ref);
} PF_InteractCallbacks;

typedef struct {
  int(PF_CALL* sprintf)(char* buffer, const char* format, ...);
  char*(PF_CALL* strcpy)(char* dest, const char* src);
} PF_ANSICallbacks;

typedef struct {
  PF_Handle(PF_CALL* host_new_handle)(uint64_t size);
  void*(PF_CALL* host_lock_handle)(PF_Handle handle);
  void(PF_CALL* host_unlock_handle)(PF_Handle handle);
  void(PF_CALL* host_dispose_handle)(PF_Handle handle);
  PF_Err(PF_CALL* get_platform_data)(PF_ProgPtr effect_ref, int32_t which, void* data);
  PF_ANSICallbacks ansi;
} PF_UtilCallbacks;

/* ---- The input record: what the host tells the plug-in for one command ---- */
typedef struct {
  PF_InteractCallbacks inter;
  PF_UtilCallbacks* utils;
  PF_ProgPtr effect_ref;
  int32_t quality; /* PF_Quality_LO or PF_Quality_HI */
  PF_SpecVersion version;
  uint32_t serial_num;
  uint32_t appl_id; /* four-character code of the host application */
  int32_t num_params;
  int32_t what_time, time_step, total_time;
  uint32_t time_scale;
  int32_t width, height;
  PF_Rect extent_hint; /* layer pixels, counted from the top */
  PF_RationalScale downsample_x, downsample_y;
  PF_RationalScale pixel_aspect_ratio;
  void* global_data;
  void* sequence_data;
  void* frame_data;
} PF_InData;

/* ---- The output record: what the plug-in answers ---- */
typedef struct {
  uint32_t my_version;
  char name[PF_MAX_EFFECT_PARAM_NAME_LEN + 1];
  void* global_data;
  int32_t num_params;
  void* sequence_data;
  int32_t flat_sdata_size;
  void* frame_data;
  int32_t width, height;
  int32_t out_flags;
  char return_msg[PF_MAX_EFFECT_MSG_LEN + 1];
  int32_t out_flags2;
} PF_OutData;

/* ---- Shimmerly host services: an extension of get_platform_data ----
 * A host without the platform's keyboard and dialog services (a command-line host on POSIX)
 * can answer get_platform_data(effect_ref, PF_PlatData_SHIMMERLY_HOST_SERVICES, services) by
 * filling the record it is given; the plug-in zero-fills it before asking. A host that does not
 * know the selector returns an error and leaves it alone, and the plug-in uses its own means.
 * - shift_key_down: nonzero when the host's user asks for the detailed about text (the Shift
 *   key of a desktop host).
 * - show_message, ask_question, run_text_prompt: when all three are set, the plug-in's boxes
 *   during that command are drawn by the host. They answer as the plug-in's own boxes do:
 *   ask_question returns 1 to 3 for the first to third button (second and third may be null);
 *   run_text_prompt returns 0 after OK with at most 255 bytes and a terminator in result (256
 *   bytes), -1 after Cancel; both return -1 when they cannot ask.
 * - report_render: when set, called after every frame the plug-in rendered, with the kernels
 *   that rendered it ("avx512", "avx2", "neon", "generic", or "reference" for the literal
 *   kernels tests ask for), the threads they ran on and the bytes of working memory the render
 *   held at its peak. Lets a host say what produced a timing.
 * Every callback gets refcon back. */
enum { PF_PlatData_SHIMMERLY_HOST_SERVICES = 0x53684D73 /* 'ShMs' */ };

typedef struct {
  int32_t shift_key_down;
  void* refcon;
  void(PF_CALL* show_message)(void* refcon, const char* text);
  int32_t(PF_CALL* ask_question)(void* refcon, const char* text, const char* first,
                                 const char* second, const char* third, const char* caption);
  int32_t(PF_CALL* run_text_prompt)(void* refcon, const char* label, const char* caption,
                                    const char* initial_text, char* result);
  void(PF_CALL* report_render)(void* refcon, const char* kernels, int32_t threads,
                               uint64_t working_bytes);
} PF_ShimmerlyHostServices;

/* The one exported entry point. `extra` is command specific: a PF_UserChangedParamExtra for
 * PF_Cmd_USER_CHANGED_PARAM, otherwise ignored. */
typedef PF_Err(PF_CALL* PF_EntryPoint)(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                       PF_ParamDef* params[], PF_LayerDef* output, void* extra);

#ifdef __cplusplus
}
#endif

#endif
