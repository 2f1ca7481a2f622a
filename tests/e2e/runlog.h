// Whole drives that read the run log: a healthy run, a run with faults, the
// log where it cannot be written, and an audio library of another version.
#pragma once

int PlayLoggedRun();
void CheckLoggedRun();
int PlayFaultyRun();
void CheckFaultyRun();
int PlayUnwritableLog();
void CheckUnwritableLog();
int PlayWrongLibrary();
void CheckWrongLibrary();
