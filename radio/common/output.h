// An output device that stops under the game (a USB or Bluetooth headset
// unplugged): channels then answer BASS_ACTIVE_PAUSED_DEVICE and plays fail
// with BASS_ERROR_START. The helper thread starts the output again, at most
// once a second: BASS_Start, or when the channels do not play again, the
// device opened afresh and the station started anew.
#pragma once

#include <atomic>

#include "platform/bass.h"

// Any module thread: a channel answered state to BASS_ChannelIsActive.
void NoteChannelState(BassDword state);
// Right after a play that failed, on its thread: its error tells whether the
// output stopped, also when nothing was playing before.
void NotePlayFailure();

// Helper thread work: one restart when the output is down and the last try
// is a second old; while there is no device, one more BASS_Init every 2 s for
// the first minute, then every 10 s. True when it tried.
bool RestartOutput();

// Worker, at the first active tick, before the run log opens: opens the audio
// device. False when there is none now (a headset still off); the helper
// thread then tries again calmly. A device that another plug-in opened first
// (BASS_ERROR_ALREADY) is there: ours plays through it.
bool OpenAudioDevice();
// For the run log, once it is open: says that there is no device yet, or
// that it is another plug-in's.
void LogAudioDevice();
// False while the device is another plug-in's: the exit then neither stops
// nor frees it, and a lost output is only started again, never reopened.
bool AudioDeviceOurs();
// Any thread: false while there is no audio device. Every create and load then
// fails with BASS_ERROR_INIT, which says "not now", never "this file is bad":
// nothing is to be learned, left out or opened meanwhile.
bool AudioDeviceOpen();
// Raised while there is no device; AudioDeviceOpen is its reader.
extern std::atomic<bool> g_audioDeviceMissing;

// How often the audio device has been opened afresh: channels and samples
// made before are gone, as BASS_Free frees everything, and their numbers may
// be new ones'. It counts on from the BASS_Free, before the next BASS_Init:
// a handle stamped with it when it was asked for is of the device now only
// while the count is the same.
uint32_t OutputOpenings();

// Worker: true once after a restart that left the station without its
// stream playing, if it still does not play; the station is then to start anew.
bool TakeStationRestart();
