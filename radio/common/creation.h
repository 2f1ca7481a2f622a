// One stream made at a time. BASS_CONFIG_BUFFER is global: every stream takes
// it as it stands when it is made, on any thread (page BASS_CONFIG_BUFFER). An
// internet stream's open sets it to 160 ms, connects and sets it back; a file
// station or a playlist made meanwhile would take the 160 ms and break up
// when the game hitches. Every playing stream is made under this lock, and
// the internet open holds it from the set to the set back. Decoding channels
// have no playback buffer and are made without it.
#pragma once

#include <windows.h>

extern SRWLOCK g_streamCreation;

// Holds the lock for the life of the scope. Not to be nested.
struct StreamCreationLock {
    StreamCreationLock() { AcquireSRWLockExclusive(&g_streamCreation); }
    ~StreamCreationLock() { ReleaseSRWLockExclusive(&g_streamCreation); }
    StreamCreationLock(const StreamCreationLock&) = delete;
    StreamCreationLock& operator=(const StreamCreationLock&) = delete;
};
