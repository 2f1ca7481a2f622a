// The lock that makes one playing stream at a time, and the global buffer of internet connects on older libraries.
#include "radio/common/creation.h"

#include "platform/bass.h"

SRWLOCK g_streamCreation = SRWLOCK_INIT;

namespace {

// Under the lock. Internet connects under way with the global buffer set
// short, that buffer, and the one before them.
int g_netConnects = 0;
BassDword g_netBufferMs = 0;
BassDword g_streamBufferMs = kBassErrorDword;

void SetBuffer(BassDword ms) {
    if (ms != kBassErrorDword) BASS_SetConfig(BASS_CONFIG_BUFFER, ms);
}

}  // namespace

StreamCreationLock::StreamCreationLock() {
    AcquireSRWLockExclusive(&g_streamCreation);
    if (g_netConnects) SetBuffer(g_streamBufferMs);
}

StreamCreationLock::~StreamCreationLock() {
    if (g_netConnects) SetBuffer(g_netBufferMs);
    ReleaseSRWLockExclusive(&g_streamCreation);
}

void SetNetBuffer(uint32_t ms) {
    AcquireSRWLockExclusive(&g_streamCreation);
    if (g_netConnects++ == 0) g_streamBufferMs = BASS_GetConfig(BASS_CONFIG_BUFFER);
    g_netBufferMs = ms;
    SetBuffer(ms);
    ReleaseSRWLockExclusive(&g_streamCreation);
}

void SetBackNetBuffer() {
    AcquireSRWLockExclusive(&g_streamCreation);
    // The option applies to every stream made later: file stations and playlists keep their own buffer.
    if (--g_netConnects == 0) SetBuffer(g_streamBufferMs);
    ReleaseSRWLockExclusive(&g_streamCreation);
}
