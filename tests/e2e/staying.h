// Internet stations that stay on, driven through the real module: a dropped
// stream with and without reconnecting, refusals and their waits, station
// changes during a reconnect, stalls, titles in the run log, an output
// device that stops, a station tried at its mirrors, and a loud stream levelled.
#pragma once

int PlayDropWithoutReconnect();
int PlayDropAndReconnect();
int PlayRefusals();
int PlayChangeDuringReconnect();
int PlayStallWithoutReconnect();
int PlayStallWithReconnect();
int PlayDeviceLoss();
int PlayMirrors();
int PlayNetLevel();
