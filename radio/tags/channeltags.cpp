// The tag blocks of an open channel, asked of the audio library and read.
#include "radio/tags/tags.h"

#include "platform/bass.h"
#include "platform/busy.h"

namespace {

// TAG_BINARY: a tag block with its true length.
struct TagBinary {
    const void* data;
    BassDword length;
};

// The block of one kind and how much of it may be read. An ID3v2 block's
// header may claim more than the block holds: its length is asked first, and
// only a library that does not give it leaves the header to say.
const char* ChannelTagBlock(uint32_t channel, uint32_t type, size_t& length) {
    length = kUnknownTagLength;
    if (type == kTagId3v2) {
        const auto* binary = reinterpret_cast<const TagBinary*>(BASS_ChannelGetTags(channel, kTagId3v2Binary));
        if (binary && binary->data) {
            length = binary->length;
            return static_cast<const char*>(binary->data);
        }
    }
    return BASS_ChannelGetTags(channel, type);
}

}  // namespace

bool ReadChannelTags(uint32_t channel, TrackTags& tags) {
    BusyMark memory(g_memoryWork);
    BusyMark audio(g_audioWork);
    bool found = false;
    // The fullest kinds first; ID3v1, which holds the least, last.
    for (const uint32_t type : {kTagId3v2, kTagOgg, kTagApe, kTagMp4, kTagId3}) {
        size_t length;
        const char* block = ChannelTagBlock(channel, type, length);
        if (!block) continue;
        found = true;
        bool cut;
        const size_t size = TagBlockSize(type, block, length, cut);
        if (cut) tags.damaged = true;
        ParseTagBlock(type, block, size, tags);
    }
    return found;
}
