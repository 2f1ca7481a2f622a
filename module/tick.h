// The worker's tick: everything the radio does, once per pass.
#pragma once

// The one-time initialisation has run; worker thread only.
extern bool g_initialised;

bool RadioAudible();
void RadioTick();
