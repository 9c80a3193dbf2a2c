/*
 * Brisklane host interface: what Canvara (or any host) and Brisklane see of each other.
 *
 * The host loads libbrisklane.so, calls main_entry with selector 1 and an extension record
 * that lists its routine suites.  Brisklane replaces 80 routine slots (routines.def) and
 * keeps the host's routines in GAVOld<Name> pointers.
 *
 * Every name here has C linkage.  Records use natural C layout with native pointers; on a
 * 32-bit build they are byte for byte the host's documented 12-byte suite records.
 */
#ifndef BRISKLANE_HOST_ABI_H
#define BRISKLANE_HOST_ABI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define BL_EXTERN_C extern "C"
#define BL_BEGIN_C extern "C" {
#define BL_END_C }
#else
#define BL_EXTERN_C extern
#define BL_BEGIN_C
#define BL_END_C
#endif

#define BL_API __attribute__((visibility("default")))

BL_BEGIN_C

/* One routine slot. The routine's real type is given by routines.def. */
typedef void (*BLRoutine)(void);

typedef struct SuiteRecord {
  uint32_t code;       /* four characters, first in the most significant byte */
  int16_t version;
  uint16_t count;      /* compared unsigned after sign extension */
  BLRoutine* routines; /* slot 0 first */
} SuiteRecord;

typedef struct ExtensionRecord {
  uint32_t unused;
  int32_t count;          /* number of suite records that follow */
  SuiteRecord suites[1];  /* `count` records from offset 8 */
} ExtensionRecord;

typedef ExtensionRecord* PExtensionRecord;

#ifdef __cplusplus
#define BL_STATIC_ASSERT(c, m) static_assert(c, m)
#else
#define BL_STATIC_ASSERT(c, m) _Static_assert(c, m)
#endif
#if UINTPTR_MAX == 0xFFFFFFFFu
BL_STATIC_ASSERT(sizeof(SuiteRecord) == 12, "suite records are the host's 12-byte records");
#else
BL_STATIC_ASSERT(sizeof(SuiteRecord) == 16, "suite records hold a native pointer at offset 8");
#endif
BL_STATIC_ASSERT(offsetof(SuiteRecord, routines) == 8, "routine table pointer at offset 8");
BL_STATIC_ASSERT(offsetof(ExtensionRecord, suites) == 8, "suite records start at offset 8");

#define BL_FOURCC(a, b, c, d) \
  (((uint32_t)(uint8_t)(a) << 24) | ((uint32_t)(uint8_t)(b) << 16) | ((uint32_t)(uint8_t)(c) << 8) | (uint32_t)(uint8_t)(d))

#define BL_SUITE_BLEND 0x626C6E64u    /* "blnd" */
#define BL_SUITE_CONVERT 0x636F6E76u  /* "conv" */
#define BL_SUITE_CORE 0x636F7265u     /* "core" */
#define BL_SUITE_DISPLAY 0x64697370u  /* "disp" */
#define BL_SUITE_FILE 0x66696C65u     /* "file" */
#define BL_SUITE_FILTER 0x66696C74u   /* "filt" */
#define BL_SUITE_MEMORY 0x6D656D6Fu   /* "memo" */
#define BL_SUITE_PAINT 0x706E7467u    /* "pntg" */
#define BL_SUITE_RESAMPLE 0x72736D70u /* "rsmp" */
#define BL_SUITE_SELECT 0x73656C65u   /* "sele" */
#define BL_SUITE_VM 0x766D2020u       /* "vm  " */
#define BL_QUERY_SUITE 0x5158544Du    /* "QXTM": core slot 7 selector that asks for a suite */
#define BL_GESTALT_MEMA 0x6D656D61u   /* "mema" */

/* Minimum routine counts, in lookup order; a failing suite reports -(index + 1). */
#define BL_MIN_BLEND 63
#define BL_MIN_CONVERT 47
#define BL_MIN_DISPLAY 30
#define BL_MIN_FILE 27
#define BL_MIN_FILTER 54
#define BL_MIN_MEMORY 39
#define BL_MIN_PAINT 39
#define BL_MIN_RESAMPLE 11
#define BL_MIN_SELECT 44
#define BL_MIN_VM 66

/* Host routines every replacement may call. */
typedef void (*WaitFinishedProc)(void);

/* One function-pointer type per patched host routine: <Name>Proc. */
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) typedef Ret(*Name##Proc) Params;
#include "brisklane/routines.def"
#undef BL_ROW

/* ---- entry points ------------------------------------------------------------------- */

BL_API void main_entry(int16_t selector, ExtensionRecord* record, int32_t data, int16_t* result);
BL_API SuiteRecord* FindSuite(ExtensionRecord* record, unsigned long code, int version);
BL_API void spin_my_wheels(void);

/* ---- start-up state ----------------------------------------------------------------- */

#define BL_SUITE_GLOBALS(X) \
  X(Blend) X(Convert) X(Core) X(Display) X(File) X(Filter) X(Memory) X(Paint) X(Resample) X(Select) X(VM)
#define BL_DECLARE_SUITE_GLOBAL(S) BL_API extern SuiteRecord* g##S##Suite; BL_API extern BLRoutine* g##S##Routines;
BL_SUITE_GLOBALS(BL_DECLARE_SUITE_GLOBAL)
#undef BL_DECLARE_SUITE_GLOBAL

BL_API extern int32_t silent;
BL_API extern int32_t debug;
BL_API extern int32_t fbx_enabled;
BL_API extern volatile int32_t traction;

/* ---- patch table state -------------------------------------------------------------- */

BL_API extern WaitFinishedProc GAVOldWaitFinished;

#define BL_FLAG_WAITS(Name) BL_API extern int32_t GAV##Name##Enabled;
#define BL_FLAG_NOWAIT(Name) BL_API extern int32_t GAV##Name##Enabled;
#define BL_FLAG_PLAIN(Name)
#define BL_ROW(row, suite, slot, Name, Ret, Params, Args, kind) \
  BL_API extern Name##Proc GAVOld##Name;                        \
  BL_API Ret GAV##Name Params;                                  \
  BL_FLAG_##kind(Name)
#include "brisklane/routines.def"
#undef BL_ROW
#undef BL_FLAG_WAITS
#undef BL_FLAG_NOWAIT
#undef BL_FLAG_PLAIN

/* ---- blend tables ------------------------------------------------------------------- */

BL_API extern uint8_t corvelMultiplyTable1[65536];
BL_API extern uint8_t corvelMultiplyTable2[131072];
BL_API extern uint8_t corvelMultiplyTable2_noneg[131072];
BL_API extern uint8_t corvelAbsoluteTable[511];
BL_API void corvelInitTables(void);

/* ---- per-routine configuration ------------------------------------------------------ */

#define BL_CONFIG_MAX 600
BL_API extern char* config[BL_CONFIG_MAX];
BL_API extern int32_t configs;
BL_API extern int32_t should_patch[BL_CONFIG_MAX];
BL_API extern int32_t should_use_gav[BL_CONFIG_MAX];
BL_API extern int32_t should_debug[BL_CONFIG_MAX];
BL_API extern int32_t should_show_rowbytes[BL_CONFIG_MAX];
BL_API extern int32_t should_announce[BL_CONFIG_MAX];
BL_API int32_t read_config(const char* path);
BL_API int32_t should_patch_bottleneck(const char* name);
BL_API void get_bottleneck_info(const char* name, int32_t* debugOut, int32_t* useGav, int32_t* showRowBytes,
                                int32_t* announce);
BL_API int32_t elapsed_seconds(int64_t later, int64_t earlier);

/* ---- what the host process provides (bound by name at load time) ------------------------ */

/* Byte flags: non-zero asks for 32-bit colour results in reverse channel order. */
extern uint8_t resultAsBGR;
extern uint8_t MPresultBGR;

/* Windowing glue of the host.  Widgets, displays and contexts are passed as opaque pointers. */
void* tl_tessel_get_top_shell(void);
void* tl_tessel_get_app_context(void);
void tl_tessel_dispatch_event(void* event);
void* tl_tessel_get_display(void);
void* tl_tessel_window_widget(void* port);
/* Converts a rectangle (four 16-bit fields: top, left, bottom, right) from device to port coordinates. */
void tl_window_device_to_local(void* port, int16_t* rect);

BL_END_C

#endif
