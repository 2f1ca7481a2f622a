// Settings and playlists as players' tools write them, through the real module.
#pragma once

int PlayUtf16Settings();
void CheckUtf16Settings();
int PlayNulSettings();
void CheckNulSettings();
