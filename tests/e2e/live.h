// Settings edited while the game runs: a file saved over the old one, one
// written in place in two halves, and what the exit leaves.
#pragma once

int PlayLiveEdits();
void CheckLiveEdits();
