/* The fake game process. Its one large zero-filled array lies in .bss right
 * after this small program, so every fixed game address the module uses is
 * plain memory here. It puts recording stand-ins behind the game routines and
 * real instructions at the code sites, runs those sites on a drawing thread,
 * optionally loads an ASI module the way an ASI loader does, and then hands
 * over to a test DLL.
 *
 * fakehost.exe [--variant=a|b|unsupported|unknown] [--asi=FILE] [--then-check]
 *              [TEST.dll [ARGS...]]
 */
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "fakehost.h"

#define ARENA_SIZE 0x840000
#define ARENA_NEEDED_START 0x4D8000u
#define ARENA_NEEDED_END 0xC1C000u
#define PAGE 0x1000u

static unsigned char arena[ARENA_SIZE];

/* Game image words and code that the module relies on. */
#define UNSUPPORTED_SIGNATURE_ADDR 0x8A6168u
#define SUPPORTED_SIGNATURE_ADDR 0x8A4004u
#define RADIO_OUTPUT_SITE 0x4D8CE4u
#define RADIO_RETUNE_SITE 0x4EBA0Bu
#define SHADOW_CODE 0x4E9F68u

/* ---- recorded calls ---------------------------------------------------- */

static HostCall* g_calls; /* allocated, so that the arena stays first in .bss */
static volatile LONG g_callCount;
static char g_entryBlock[HOST_TEXT_ENTRY_BLOCK];
static volatile LONG g_lookupFails;
static void (*volatile g_colourObserver)(uint32_t);

static uint32_t Bits(float value) {
    uint32_t bits;
    memcpy(&bits, &value, sizeof bits);
    return bits;
}

static void Record(int routine, const void* self, uint32_t a, uint32_t b, uint32_t c, const char* text) {
    LONG index = InterlockedIncrement(&g_callCount) - 1;
    HostCall* call = &g_calls[index % HOST_CALL_CAPACITY];
    call->routine = routine;
    call->self = (uint32_t)(uintptr_t)self;
    call->args[0] = a;
    call->args[1] = b;
    call->args[2] = c;
    call->text[0] = 0;
    if (text) lstrcpynA(call->text, text, HOST_CALL_TEXT);
    call->thread = GetCurrentThreadId();
}

static int CallCount(void) { return (int)g_callCount; }

static int GetCall(int index, HostCall* out) {
    if (index < 0 || index >= g_callCount || index < g_callCount - HOST_CALL_CAPACITY) return 0;
    *out = g_calls[index % HOST_CALL_CAPACITY];
    return 1;
}

static void ResetCalls(void) { g_callCount = 0; }

/* ---- game routine stand-ins, in the game's calling conventions ---------- */

static char* __attribute__((thiscall)) TextLookup(void* self, const char* key) {
    Record(HR_TEXT_LOOKUP, self, (uint32_t)(uintptr_t)key, 0, 0, key);
    return g_lookupFails ? NULL : g_entryBlock;
}

static void __cdecl CopyAsciiText(const char* text, char* entry) {
    Record(HR_COPY_ASCII_TEXT, NULL, (uint32_t)(uintptr_t)text, (uint32_t)(uintptr_t)entry, 0, text);
    strcpy(entry, text); /* as unbounded as the game's own */
}

static void* __attribute__((thiscall)) PaletteColour(void* self, uint8_t* rgba, uint32_t index) {
    Record(HR_PALETTE_COLOUR, self, (uint32_t)(uintptr_t)rgba, index, 0, NULL);
    rgba[0] = HOST_PALETTE_RED(index);
    rgba[1] = HOST_PALETTE_GREEN(index);
    rgba[2] = HOST_PALETTE_BLUE(index);
    rgba[3] = HOST_PALETTE_ALPHA(index);
    return rgba;
}

static void __cdecl SetTextColour(uint32_t rgba) {
    void (*observer)(uint32_t) = g_colourObserver;
    Record(HR_SET_TEXT_COLOUR, NULL, rgba, 0, 0, NULL);
    if (observer) observer(rgba);
}

static void __cdecl SetTextScale(float x, float y) { Record(HR_SET_TEXT_SCALE, NULL, Bits(x), Bits(y), 0, NULL); }
static void __cdecl SetTextIntA(int32_t v) { Record(HR_SET_TEXT_INT_A, NULL, (uint32_t)v, 0, 0, NULL); }
static void __cdecl SetTextFloatA(float v) { Record(HR_SET_TEXT_FLOAT_A, NULL, Bits(v), 0, 0, NULL); }
static void __cdecl SetTextFloatB(float v) { Record(HR_SET_TEXT_FLOAT_B, NULL, Bits(v), 0, 0, NULL); }
static void __cdecl SetTextFlag(uint32_t v) { Record(HR_SET_TEXT_FLAG, NULL, v, 0, 0, NULL); }
static void __cdecl SetTextIntB(int32_t v) { Record(HR_SET_TEXT_INT_B, NULL, (uint32_t)v, 0, 0, NULL); }

static void __cdecl PrintText(float x, float y, const char* text) {
    Record(HR_PRINT_TEXT, NULL, Bits(x), Bits(y), (uint32_t)(uintptr_t)text, text);
}

static void __cdecl OriginalBannerCall(void) { Record(HR_ORIGINAL_BANNER_CALL, NULL, 0, 0, 0, NULL); }
static void __cdecl OriginalColourCall(uint32_t rgba) { Record(HR_ORIGINAL_COLOUR_CALL, NULL, rgba, 0, 0, NULL); }

/* ---- game code ----------------------------------------------------------- */

static const struct { uint32_t address; void* target; } kRoutines[] = {
    {0x6A0050u, (void*)TextLookup},   {0x718600u, (void*)CopyAsciiText}, {0x58FEA0u, (void*)PaletteColour},
    {0x719430u, (void*)SetTextColour}, {0x719380u, (void*)SetTextScale}, {0x719490u, (void*)SetTextIntA},
    {0x7194E0u, (void*)SetTextFloatA}, {0x7194F0u, (void*)SetTextFloatB}, {0x7195B0u, (void*)SetTextFlag},
    {0x719610u, (void*)SetTextIntB},   {0x71A700u, (void*)PrintText},
};

static const uint32_t kCodePages[] = {0x4D8000u, 0x4E9000u, 0x4EB000u, 0x57C000u, 0x58F000u,
                                      0x6A0000u, 0x718000u, 0x719000u, 0x71A000u};

static unsigned char* At(uint32_t address) { return (unsigned char*)(uintptr_t)address; }

static void PutRel32(uint32_t at, uint8_t opcode, const void* target) {
    int32_t displacement = (int32_t)((uint32_t)(uintptr_t)target - (at + 5));
    At(at)[0] = opcode;
    memcpy(At(at + 1), &displacement, 4);
}

static void ProtectCode(DWORD protection) {
    DWORD old;
    size_t i;
    for (i = 0; i < sizeof kCodePages / sizeof kCodePages[0]; ++i)
        VirtualProtect(At(kCodePages[i]), PAGE, protection, &old);
}

static void ResetCode(void) {
    size_t i;
    static const unsigned char shadow[] = {0x6A, 0x12, 0x6A, 0x34, 0x6A, 0x56}; /* push imm8 x3 */
    uint32_t pushed = SITE_NAME_COLOUR_PUSHED;
    ProtectCode(PAGE_EXECUTE_READWRITE);
    for (i = 0; i < sizeof kRoutines / sizeof kRoutines[0]; ++i)
        PutRel32(kRoutines[i].address, 0xE9, kRoutines[i].target); /* jmp rel32 */
    PutRel32(SITE_BANNER_ENTRY, 0xE8, (void*)OriginalBannerCall);  /* call rel32 */
    At(SITE_BANNER_ENTRY + 5)[0] = 0xC3;                           /* ret */
    At(SITE_NAME_COLOUR_ENTRY)[0] = 0x68;                          /* push imm32 */
    memcpy(At(SITE_NAME_COLOUR_ENTRY + 1), &pushed, 4);
    PutRel32(SITE_NAME_COLOUR_ENTRY + 5, 0xE8, (void*)OriginalColourCall);
    memcpy(At(SITE_NAME_COLOUR_ENTRY + 10), "\x83\xC4\x04\xC3", 4); /* add esp,4; ret */
    memcpy(At(SHADOW_CODE), shadow, sizeof shadow);
    At(RADIO_OUTPUT_SITE)[0] = 0x18;
    At(RADIO_RETUNE_SITE)[0] = 0x07;
    ProtectCode(PAGE_EXECUTE_READ);
}

static void WriteCode(uint32_t address, const void* bytes, uint32_t size) {
    DWORD old, ignored;
    VirtualProtect(At(address), size, PAGE_EXECUTE_READWRITE, &old);
    memcpy(At(address), bytes, size);
    VirtualProtect(At(address), size, old, &ignored);
}

static char* TextEntry(void) { return g_entryBlock; }

static void ResetTextEntry(void) {
    memset(g_entryBlock, HOST_TEXT_GUARD, sizeof g_entryBlock);
    strcpy(g_entryBlock, HOST_TEXT_ENTRY_INITIAL);
}

static void SetTextLookupFails(int fails) { g_lookupFails = fails; }
static void SetColourObserver(void (*observer)(uint32_t)) { g_colourObserver = observer; }

/* ---- the drawing thread -------------------------------------------------- */

/* One site runs at a time; these carry its state across the call. */
volatile uint32_t g_siteEntry, g_siteSavedEsp, g_siteEspBefore, g_siteEspAfter;
volatile uint32_t g_siteRegs[4];
volatile uint16_t g_siteFswBefore, g_siteFswAfter, g_siteFcwBefore, g_siteFcwAfter;
void RunSiteRaw(void);
__asm__(
    ".text\n"
    ".globl _RunSiteRaw\n"
    "_RunSiteRaw:\n"
    "  pushl %ebp\n  pushl %ebx\n  pushl %esi\n  pushl %edi\n"
    "  movl %esp, _g_siteSavedEsp\n"
    "  andl $-16, %esp\n"
    "  subl $4, %esp\n" /* the call below leaves the stack 4 bytes off 16 */
    "  fnstsw _g_siteFswBefore\n"
    "  fnstcw _g_siteFcwBefore\n"
    "  movl $0xB0B0B0B0, %ebx\n  movl $0x51515151, %esi\n"
    "  movl $0xD1D1D1D1, %edi\n  movl $0xEBEBEBEB, %ebp\n"
    "  movl %esp, _g_siteEspBefore\n"
    "  call *_g_siteEntry\n"
    "  movl %esp, _g_siteEspAfter\n"
    "  movl %ebx, _g_siteRegs\n  movl %esi, _g_siteRegs+4\n"
    "  movl %edi, _g_siteRegs+8\n  movl %ebp, _g_siteRegs+12\n"
    "  fnstsw _g_siteFswAfter\n"
    "  fnstcw _g_siteFcwAfter\n"
    "  movl _g_siteSavedEsp, %esp\n"
    "  popl %edi\n  popl %esi\n  popl %ebx\n  popl %ebp\n"
    "  ret\n");

#define FPU_TOP_MASK 0x3800u

static int RunSiteHere(uint32_t entry, SiteRun* out) {
    g_siteEntry = entry;
    RunSiteRaw();
    out->ebx = g_siteRegs[0];
    out->esi = g_siteRegs[1];
    out->edi = g_siteRegs[2];
    out->ebp = g_siteRegs[3];
    out->espBefore = g_siteEspBefore;
    out->espAfter = g_siteEspAfter;
    out->fpuStatusBefore = g_siteFswBefore;
    out->fpuStatusAfter = g_siteFswAfter;
    out->fpuControlBefore = g_siteFcwBefore;
    out->fpuControlAfter = g_siteFcwAfter;
    out->thread = GetCurrentThreadId();
    return out->ebx == SITE_SENTINEL_EBX && out->esi == SITE_SENTINEL_ESI && out->edi == SITE_SENTINEL_EDI &&
           out->ebp == SITE_SENTINEL_EBP && out->espBefore == out->espAfter &&
           (out->fpuStatusBefore & FPU_TOP_MASK) == (out->fpuStatusAfter & FPU_TOP_MASK) &&
           out->fpuControlBefore == out->fpuControlAfter;
}

static HANDLE g_requestEvent, g_doneEvent;
static CRITICAL_SECTION g_siteLock;
static volatile uint32_t g_requestEntry;
static SiteRun* volatile g_requestOut;
static volatile int g_requestResult;
static volatile LONG g_drawing, g_drawIntervalMs, g_drawFaults;

static DWORD WINAPI DrawThread(LPVOID unused) {
    (void)unused;
    for (;;) {
        SiteRun run;
        DWORD wait = g_drawing ? (DWORD)g_drawIntervalMs : INFINITE;
        if (WaitForSingleObject(g_requestEvent, wait) == WAIT_OBJECT_0) {
            EnterCriticalSection(&g_siteLock);
            g_requestResult = RunSiteHere(g_requestEntry, g_requestOut);
            LeaveCriticalSection(&g_siteLock);
            SetEvent(g_doneEvent);
            continue;
        }
        EnterCriticalSection(&g_siteLock);
        if (!RunSiteHere(SITE_BANNER_ENTRY, &run)) InterlockedIncrement(&g_drawFaults);
        if (!RunSiteHere(SITE_NAME_COLOUR_ENTRY, &run)) InterlockedIncrement(&g_drawFaults);
        LeaveCriticalSection(&g_siteLock);
    }
    return 0;
}

static CRITICAL_SECTION g_requestLock;

static int RunSite(uint32_t entry, SiteRun* out) {
    int result;
    EnterCriticalSection(&g_requestLock);
    g_requestEntry = entry;
    g_requestOut = out;
    SetEvent(g_requestEvent);
    WaitForSingleObject(g_doneEvent, INFINITE);
    result = g_requestResult;
    LeaveCriticalSection(&g_requestLock);
    return result;
}

static void StartDrawing(uint32_t intervalMs) {
    g_drawIntervalMs = (LONG)intervalMs;
    g_drawing = 1;
    /* Wake the thread so that it starts its frames now. */
    RunSite(SITE_BANNER_ENTRY, &(SiteRun){0});
}

static void StopDrawing(void) {
    SiteRun run;
    g_drawing = 0;
    RunSite(SITE_BANNER_ENTRY, &run); /* returns once the thread has seen the change */
}

static int DrawFaults(void) { return (int)g_drawFaults; }

/* ---- start-up ------------------------------------------------------------ */

static const FakeHost kHost = {
    CallCount,   GetCall,   ResetCalls,      RunSite,        StartDrawing,       StopDrawing,       DrawFaults,
    TextEntry,   ResetTextEntry, SetTextLookupFails, SetColourObserver, WriteCode, ResetCode,
};

static int SetVariant(const char* name) {
    uint32_t* unsupported = (uint32_t*)At(UNSUPPORTED_SIGNATURE_ADDR);
    uint32_t* supported = (uint32_t*)At(SUPPORTED_SIGNATURE_ADDR);
    if (!strcmp(name, "a")) {
        *supported = 0x8339CAu;
    } else if (!strcmp(name, "b")) {
        *supported = 0x833A0Au;
    } else if (!strcmp(name, "unsupported")) {
        *unsupported = 0x8523A0u;
        *supported = 0x8339CAu;
    } else if (strcmp(name, "unknown")) {
        return 0;
    }
    return 1;
}

/* Runs this same command line without --then-check in a child process. */
static int RunChild(void) {
    char line[32768];
    const char* original = GetCommandLineA();
    const char* flag = strstr(original, " --then-check");
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    DWORD status = 1;
    size_t before = flag ? (size_t)(flag - original) : strlen(original);
    if (before >= sizeof line) return 1;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    memcpy(line, original, before);
    lstrcpynA(line + before, flag ? flag + strlen(" --then-check") : "", (int)(sizeof line - before));
    if (!CreateProcessA(NULL, line, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        fprintf(stderr, "fakehost: cannot start the game run (error %lu)\n", GetLastError());
        return 1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return (int)status;
}

int main(int argc, char** argv) {
    const char* asi = NULL;
    const char* variant = "a";
    int thenCheck = 0;
    int i = 1;
    uintptr_t start = (uintptr_t)arena, end = start + sizeof arena;

    setvbuf(stdout, NULL, _IONBF, 0);
    if (start > ARENA_NEEDED_START || end < ARENA_NEEDED_END) {
        fprintf(stderr, "fakehost: game memory %#lx..%#lx does not cover %#x..%#x; rebuild the host smaller\n",
                (unsigned long)start, (unsigned long)end, ARENA_NEEDED_START, ARENA_NEEDED_END);
        return 2;
    }
    for (; i < argc && !strncmp(argv[i], "--", 2); ++i) {
        if (!strncmp(argv[i], "--variant=", 10)) {
            variant = argv[i] + 10;
        } else if (!strncmp(argv[i], "--asi=", 6)) {
            asi = argv[i] + 6;
        } else if (!strcmp(argv[i], "--then-check")) {
            thenCheck = 1;
        } else {
            fprintf(stderr, "fakehost: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    if (!SetVariant(variant)) {
        fprintf(stderr, "fakehost: unknown variant %s\n", variant);
        return 2;
    }

    if (thenCheck) {
        int status = RunChild();
        HMODULE dll;
        FakeHostMainFn check;
        if (status != 0 || i >= argc) return status;
        dll = LoadLibraryA(argv[i]);
        check = dll ? (FakeHostMainFn)(void*)GetProcAddress(dll, FAKEHOST_CHECK) : NULL;
        if (!check) {
            fprintf(stderr, "fakehost: %s has no %s\n", argv[i], FAKEHOST_CHECK);
            return 2;
        }
        return check(&kHost, argc - i, argv + i);
    }

    g_calls = (HostCall*)VirtualAlloc(NULL, sizeof(HostCall) * HOST_CALL_CAPACITY, MEM_COMMIT, PAGE_READWRITE);
    InitializeCriticalSection(&g_siteLock);
    InitializeCriticalSection(&g_requestLock);
    g_requestEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    g_doneEvent = CreateEventA(NULL, FALSE, FALSE, NULL);
    ResetTextEntry();
    ResetCode();
    CreateThread(NULL, 0, DrawThread, NULL, 0, NULL);

    if (asi) {
        /* As an ASI loader does: a module that fails to load is reported and skipped. */
        if (!LoadLibraryA(asi)) {
            DWORD error = GetLastError();
            printf("ASI loader: could not load %s (error %lu%s)\n", asi, error,
                   error == ERROR_MOD_NOT_FOUND ? ": module not found" : "");
        }
    }
    if (i < argc) {
        HMODULE dll = LoadLibraryA(argv[i]);
        FakeHostMainFn entry = dll ? (FakeHostMainFn)(void*)GetProcAddress(dll, FAKEHOST_MAIN) : NULL;
        if (!entry) {
            fprintf(stderr, "fakehost: cannot run %s (error %lu)\n", argv[i], GetLastError());
            return 2;
        }
        return entry(&kHost, argc - i, argv + i);
    }
    return 0;
}
