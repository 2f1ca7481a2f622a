// Handing documents read afresh by the helper thread over to the worker. The
// worker takes one at the start of a tick with one pointer exchange, and
// never waits, reads a file or allocates for it. At most one document waits
// to be taken and at most one replaced document waits to be freed: a player
// saving a hundred times does not make the module grow.
#pragma once

#include <cstdint>

#include "settings/settings.h"

// Helper thread: offers document to the worker. One offered earlier and not
// yet taken is freed, its changed sources carried over.
void OfferSettings(SettingsDocument* document);

// Helper thread: frees the document the worker replaced, and offers again,
// with the position stored since, one the worker sent back. True when it did
// anything.
bool TidySettingsDocuments();

// Worker thread, at the start of a tick: takes the offered document in place
// of its own; false when there is none to take. changedSources: bit n for
// each station n whose source changed since the document it replaces.
bool TakeOfferedSettings(uint16_t& changedSources);
