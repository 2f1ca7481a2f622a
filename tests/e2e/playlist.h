// Playlist stations driven through the real module: the live track, a track
// change, a track that will not play, and a playlist with nothing to play.
#pragma once

int PlayPlaylists();

// A track whose header gives a wrong length, and one that gives none: the
// tape and the cache take the exact lengths of the full scan.
int PlayExactTape();

// The same drives with the output at 48 kHz: every track through the resampler.
int PlayPlaylistsResampled();
int PlayExactTapeResampled();
