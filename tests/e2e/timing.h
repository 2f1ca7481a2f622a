// The audio fake's timing against the library's documented rules, which the
// playlist stream relies on: playback buffers, end syncs, user stream pulls.
#pragma once

int CheckLibraryTiming();
