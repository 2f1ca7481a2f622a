// The stream's volume following the game's radio volume, and silencing the
// game's own radio while ours opens or plays.
#pragma once

// Volume the next ApplyVolumes gives the station stream; worker thread only.
extern float g_streamVolume;

void MuteWhileOpening();
void UpdateHostMute();
void ApplyVolumes();
void StepStreamVolume();
