// Playlist stations driven through the real module: the live track, a track
// change, a track that will not play, and a playlist with nothing to play.
#pragma once

int PlayPlaylists();
