// A playlist station with idents and breaks of spots, driven through the real
// module: tune-ins during an ident and during a break, the next song after
// each without a gap, and programme keys that cannot be used.
#pragma once

int PlayProgramme();
