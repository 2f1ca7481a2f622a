// The player's machine as it is, driven through the real module: no audio
// device at start, a device that stays away, the internet open's buffer while
// other streams are made, short reads of tracks, handle numbers reused,
// another plug-in's device; and
// the fake library's rules for them.
#pragma once

int CheckMachineRules();
int PlayHealthyDevice();
int PlayNoDeviceAtStart();
int PlayDeviceGone();
int PlayBufferDuringReconnect();
int PlayShortReads();
int PlayHandleReuse();
int PlaySharedDevice();
void CheckSharedDevice();
int PlayNumbersAfterReopen();
