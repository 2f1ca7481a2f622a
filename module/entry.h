// What the library entry does on attach and detach.
#pragma once

#include <windows.h>

// The game variant check: only the two supported variants get a worker.
bool SupportedHost();

// Hands the helper thread its work, in order of priority; once.
void ListHelperWork();
// Lists the helper thread's work and starts it.
void StartHelper();

// Worker thread start: redirects the banner call, starts the helper thread
// for openings, then ticks for ever with a short pause between ticks.
DWORD WINAPI WorkerThread(LPVOID unused);

// Exit work: saves the settings if they were ever loaded, then shuts the audio
// library down unless it is of another version than 2.4; each part is skipped
// when a thread the exit killed was inside the work it depends on. Allocates
// nothing when the save is skipped.
void DetachWork();
