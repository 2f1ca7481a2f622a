// One stream made at a time. BASS_CONFIG_BUFFER is global: every stream takes
// it as it stands when it is made, on any thread (page BASS_CONFIG_BUFFER).
// An internet stream gets its short buffer from BASS_ATTRIB_BUFFER once it is
// made, which needs no lock. Only a library that refuses that attribute (an
// older 2.4) has the global set to the short buffer for the time of an
// internet connect: the lock is then held for the set and for the set back,
// never across the connect, and a stream made meanwhile is made with the
// buffer as it was, the short one put back after it. Every playing stream is
// made under this lock; decoding channels have no playback buffer and are made
// without it.
#pragma once

#include <windows.h>

#include <cstdint>

extern SRWLOCK g_streamCreation;

// Holds the lock for the life of the scope, with the buffer as streams other
// than internet ones take it. Not to be nested.
struct StreamCreationLock {
    StreamCreationLock();
    ~StreamCreationLock();
    StreamCreationLock(const StreamCreationLock&) = delete;
    StreamCreationLock& operator=(const StreamCreationLock&) = delete;
};

// For a library without BASS_ATTRIB_BUFFER: sets the global buffer to ms for
// an internet connect that follows, and back once every such connect is over.
void SetNetBuffer(uint32_t ms);
void SetBackNetBuffer();
