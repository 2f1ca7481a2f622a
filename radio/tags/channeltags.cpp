// The tag blocks of an open channel, asked of the audio library and read.
#include "radio/tags/tags.h"

#include "platform/bass.h"
#include "platform/busy.h"

bool ReadChannelTags(uint32_t channel, TrackTags& tags) {
    BusyMark memory(g_memoryWork);
    BusyMark audio(g_audioWork);
    bool found = false;
    // The fullest kinds first; ID3v1, which holds the least, last.
    for (const uint32_t type : {kTagId3v2, kTagOgg, kTagApe, kTagMp4, kTagId3}) {
        const char* block = BASS_ChannelGetTags(channel, type);
        if (!block) continue;
        found = true;
        bool cut;
        const size_t size = TagBlockSize(type, block, cut);
        if (cut) tags.damaged = true;
        ParseTagBlock(type, block, size, tags);
    }
    return found;
}
