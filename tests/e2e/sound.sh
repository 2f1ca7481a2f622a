#!/bin/sh
# The sound of a drive, judged: plays the sound_drive scenario in a game folder
# with the example audio, renders what the player heard, and listens to it.
# sound.sh SOURCE_DIR BUILD_DIR
set -eu
source=$1
build=$2
game=$build/e2e/sound
rm -rf "$game"
mkdir -p "$game"
"$source/examples/make-audio" "$game"
(cd "$game" && "$build/wine-run" "$build/bin/fakehost.exe" --asi=zorve.asi --then-check zorve_e2e.dll sound_drive)
/usr/bin/python3 "$source/scripts/render" "$game" --wav "$game/drive.wav" --game-radio "$game/stand-ins/game-radio.wav"
exec /usr/bin/python3 "$source/tests/e2e/sound_check.py" "$game"
