// What the background work costs the game, with the real module and decoding
// that costs what it does on a player's machine, printed as name=value lines
// and CPU windows for scripts/bench.
#pragma once

int BenchBackgroundWork();
int BenchBackgroundMemory();
