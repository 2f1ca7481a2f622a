// The now-playing line and log lines of tagged tracks, driven through the real module.
#pragma once

int PlayNowPlaying();
