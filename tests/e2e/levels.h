// Even loudness through the real module: a playlist of a loud, a quiet and a
// quiet but peaky track, each measured once and heard at the target.
#pragma once

int PlayLevels();
