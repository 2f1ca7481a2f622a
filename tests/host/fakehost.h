/* The fake game process as seen by the test DLLs it loads: the recorded calls
 * of its game routines and the means to run its code sites on its drawing
 * thread. Shared by the C host and the C++ tests. */
#ifndef ZORVE_FAKEHOST_H
#define ZORVE_FAKEHOST_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum HostRoutineId {
    HR_TEXT_LOOKUP = 1,
    HR_COPY_ASCII_TEXT,
    HR_PALETTE_COLOUR,
    HR_SET_TEXT_COLOUR,
    HR_SET_TEXT_SCALE,
    HR_SET_TEXT_INT_A,
    HR_SET_TEXT_FLOAT_A,
    HR_SET_TEXT_FLOAT_B,
    HR_SET_TEXT_FLAG,
    HR_SET_TEXT_INT_B,
    HR_PRINT_TEXT,
    HR_ORIGINAL_BANNER_CALL, /* the call that stood at the banner site */
    HR_ORIGINAL_COLOUR_CALL  /* the call that stood at the name colour site */
};

#define HOST_CALL_TEXT 64

typedef struct HostCall {
    int routine;
    uint32_t self;    /* ECX of member routines, 0 otherwise */
    uint32_t args[3]; /* the raw 32-bit argument slots */
    char text[HOST_CALL_TEXT]; /* the text argument, cut */
    uint32_t thread;
} HostCall;

/* What a code site left behind when run by the drawing thread with sentinel
 * callee-saved registers and a stack misaligned by 4. */
typedef struct SiteRun {
    uint32_t ebx, esi, edi, ebp;
    uint32_t espBefore, espAfter;
    uint16_t fpuStatusBefore, fpuStatusAfter;
    uint16_t fpuControlBefore, fpuControlAfter;
    uint32_t thread;
} SiteRun;

#define SITE_SENTINEL_EBX 0xB0B0B0B0u
#define SITE_SENTINEL_ESI 0x51515151u
#define SITE_SENTINEL_EDI 0xD1D1D1D1u
#define SITE_SENTINEL_EBP 0xEBEBEBEBu

/* Entry points of the game code the drawing thread runs. */
#define SITE_BANNER_ENTRY 0x57C2B5u      /* call; ret */
#define SITE_NAME_COLOUR_ENTRY 0x4E9FB5u /* push imm32; call; add esp,4; ret */
#define SITE_NAME_COLOUR_PUSHED 0x11223344u

/* Text entry that the text lookup returns: its initial text, then guard bytes. */
#define HOST_TEXT_ENTRY_INITIAL "Radio Los Santos FM Original"
#define HOST_TEXT_ENTRY_BLOCK 256
#define HOST_TEXT_GUARD 0xAB

typedef struct FakeHost {
    /* Recorded game routine calls, oldest first; a ring that keeps the last
     * HOST_CALL_CAPACITY calls. */
    int (*CallCount)(void);
    int (*GetCall)(int index, HostCall* out); /* 0 if overwritten or not yet made */
    void (*ResetCalls)(void);

    /* Runs the code at entry on the drawing thread and waits for it. Returns 1
     * when registers, stack and x87 state came back as they went in. */
    int (*RunSite)(uint32_t entry, SiteRun* out);

    /* Runs both sites once per interval on the drawing thread until stopped;
     * 0 ms runs them back to back. */
    void (*StartDrawing)(uint32_t intervalMs);
    void (*StopDrawing)(void);
    /* Sites run by StartDrawing that did not preserve the caller's state. */
    int (*DrawFaults)(void);

    /* The entry block the text lookup returns and its set-up. */
    char* (*TextEntry)(void);
    void (*ResetTextEntry)(void);
    void (*SetTextLookupFails)(int fails);

    /* Called with every colour handed to the text colour routine, if set. */
    void (*SetColourObserver)(void (*observer)(uint32_t rgba));

    /* Writes into an execute-read code page and puts the protection back. */
    void (*WriteCode)(uint32_t address, const void* bytes, uint32_t size);

    /* Resets every site, code byte and routine stand-in to the game's own. */
    void (*ResetCode)(void);
} FakeHost;

#define HOST_CALL_CAPACITY 65536

/* Palette colour that the fake palette routine gives for an index. */
#define HOST_PALETTE_RED(i) ((uint8_t)(0x10 + (i)))
#define HOST_PALETTE_GREEN(i) ((uint8_t)(0x20 + (i)))
#define HOST_PALETTE_BLUE(i) ((uint8_t)(0x30 + (i)))
#define HOST_PALETTE_ALPHA(i) ((uint8_t)(0xF0 + (i)))

/* Exported by every test DLL: runs with the host and the arguments after the
 * DLL's name; its result is the process's exit status. */
typedef int (*FakeHostMainFn)(const FakeHost* host, int argc, char** argv);
#define FAKEHOST_MAIN "FakeHostMain"
/* Optional: run in a second process after the first one exited (--then-check). */
#define FAKEHOST_CHECK "FakeHostCheck"

#ifdef __cplusplus
}
#endif

#endif
