// A big playlist folder on a slow disk, in two runs of the game: the first
// tunes in while the tape is still being learned and keeps every length, the
// next takes the whole tape from what was kept. The same drives, bigger and
// with figures printed as name=value lines, for scripts/bench-tapes.
#pragma once

int PlayBigFolderFirstRun();
int PlayBigFolderNextRun();

int BenchBigFolderFirstRun();
int BenchBigFolderNextRun();
int BenchLongList();
