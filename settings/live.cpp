// Handing documents read afresh over to the worker.
#include "settings/live.h"

#include <atomic>

namespace {

std::atomic<SettingsDocument*> g_offered{nullptr};
// Taken by the worker but stamped before a position it stored since: the
// helper stamps it again and offers it once more.
std::atomic<SettingsDocument*> g_sentBack{nullptr};
// The worker's document before the last one it took. The worker retires it
// at the start of a tick and never reads it again, so the helper frees it.
std::atomic<SettingsDocument*> g_replaced{nullptr};

// Puts document in the offer slot, taking any older one out first, so that
// the one the worker may take is never changed again.
void Offer(SettingsDocument* document) {
    if (SettingsDocument* older = g_offered.exchange(nullptr)) {
        ChangedSources(*document) |= ChangedSources(*older);
        FreeSettingsDocument(older);
    }
    g_offered.store(document);
}

}  // namespace

void OfferSettings(SettingsDocument* document) {
    if (SettingsDocument* back = g_sentBack.exchange(nullptr)) {
        ChangedSources(*document) |= ChangedSources(*back);
        FreeSettingsDocument(back);
    }
    Offer(document);
}

bool TidySettingsDocuments() {
    bool tidied = false;
    if (SettingsDocument* replaced = g_replaced.exchange(nullptr)) {
        FreeSettingsDocument(replaced);
        tidied = true;
    }
    if (SettingsDocument* back = g_sentBack.exchange(nullptr)) {
        StampPosition(*back);
        Offer(back);
        tidied = true;
    }
    return tidied;
}

bool TakeOfferedSettings(uint16_t& changedSources) {
    // One replaced document at a time; one sent back is offered again first.
    if (!g_offered.load() || g_replaced.load() || g_sentBack.load()) return false;
    SettingsDocument* const document = g_offered.exchange(nullptr);
    if (!document) return false;
    if (!PositionCurrent(*document)) {
        g_sentBack.store(document);
        return false;
    }
    changedSources = ChangedSources(*document);
    g_replaced.store(UseSettingsDocument(document));
    return true;
}
