// A drive through two file stations for the test that listens to its sound
// (sound_check.py): the game folder holds the example audio (examples/make-audio).
#pragma once

int PlaySoundDrive();
