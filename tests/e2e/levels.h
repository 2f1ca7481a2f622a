// Even loudness through the real module: a playlist of a loud, a quiet and a
// quiet but peaky track, each measured once and heard at the target.
#pragma once

int PlayLevels();
// A fresh playlist tuned in at once: every track after the first heard at the
// target on its first play, the tagged one at its tags' level.
int PlayFirstPlayLevels();
