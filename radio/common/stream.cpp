// The stream on air and the hand-over of an opening.
#include "radio/common/stream.h"

#include <cstdlib>

#include "platform/bass.h"
#include "platform/busy.h"

std::atomic<uint32_t> g_stationStream{0};
std::atomic<bool> g_streamStarting{false};
std::atomic<uint32_t> g_stationChanges{0};
std::atomic<int32_t> g_startOffset{0};
std::string& g_sourcePath = *new std::string;

namespace {

void FreeSource(void* source) {
    BusyMark busy(g_memoryWork);
    std::free(source);
}

}  // namespace

// The flag goes up before the job is handed over, so that no second opening
// can start in between; it comes down again if the job cannot be handed over.
void StartOpeningJob(OpeningBody body, void* job) {
    g_streamStarting = true;
    if (!HandOverOpening(body, job, FinishOpening)) {
        FreeSource(job);
        g_streamStarting = false;
    }
}

void FreeStationStream() {
    // The free is made also with no stream on air (0), as the opening always makes it.
    BusyMark audio(g_audioWork);
    BASS_StreamFree(g_stationStream.exchange(0));
}

void FinishOpening(void* job) {
    FreeSource(job);
    g_openingJobRunning = false;
    g_streamStarting = false;
}
