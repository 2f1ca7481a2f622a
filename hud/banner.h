// The credit banner, drawn by the game's own text routines.
#pragma once

// Entered from the game's HUD drawing in place of the call that stood there.
extern "C" void DrawBanner();
