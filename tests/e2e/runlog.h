// Whole drives that read the run log: a healthy run, a run with faults, the
// log where it cannot be written, and an audio library of version 2.3 (as it is,
// and claiming 2.4 while it lacks the calls that came with 2.4).
#pragma once

int PlayLoggedRun();
void CheckLoggedRun();
int PlayFaultyRun();
void CheckFaultyRun();
int PlayUnwritableLog();
void CheckUnwritableLog();
int PlayWrongLibrary();
void CheckWrongLibrary();
int PlayLibraryLackingCalls();
void CheckLibraryLackingCalls();
