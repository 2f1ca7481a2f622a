// Arbitrary bytes as a tag block of each kind the audio library hands over,
// and as a file name. Nothing may crash or read past the block, and every
// title and artist that comes out is one line of valid UTF-8 of bounded size.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/unicode.h"
#include "radio/tags/tags.h"

namespace {

const uint32_t kTypes[] = {kTagId3, kTagId3v2, kTagOgg, kTagApe, kTagMp4};
constexpr size_t kMaxText = 512;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "tags fuzz: %s\n", what);
    std::abort();
}

void CheckText(const std::string& text) {
    if (!IsValidUtf8(text)) Fail("text is not UTF-8");
    if (text.size() > kMaxText * 2 + 3) Fail("text is too long");
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20) Fail("control character in text");
    }
}

void Check(const TrackTags& tags) {
    CheckText(tags.title);
    CheckText(tags.artist);
    if (tags.title.size() > kMaxText || tags.artist.size() > kMaxText) Fail("title or artist past its bound");
    CheckText(TrackTitle(tags, "01 x.mp3"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint32_t type = kTypes[data[0] % (sizeof kTypes / sizeof kTypes[0])];
    ++data;
    --size;

    // Exactly the block's bytes on the heap, so that a read past them is caught.
    std::unique_ptr<char[]> block(new char[size ? size : 1]);
    std::memcpy(block.get(), data, size);
    TrackTags tags;
    ParseTagBlock(type, block.get(), size, tags);
    Check(tags);

    // As the library hands a block over with its length (TAG_BINARY): measured, then read, within it.
    bool cut;
    const size_t given = TagBlockSize(type, block.get(), size, cut);
    if (given > size) Fail("a block measured past the length given");
    TrackTags fromLength;
    ParseTagBlock(type, block.get(), given, fromLength);
    Check(fromLength);

    // As the library hands comments over: ended by an empty string.
    if (type != kTagId3 && type != kTagId3v2) {
        std::unique_ptr<char[]> ended(new char[size + 2]);
        std::memcpy(ended.get(), data, size);
        ended[size] = ended[size + 1] = 0;
        const size_t blockSize = TagBlockSize(type, ended.get(), kUnknownTagLength, cut);
        if (blockSize > size + 2 || cut) Fail("comments measured past their end");
        TrackTags fromLibrary;
        ParseTagBlock(type, ended.get(), blockSize, fromLibrary);
        Check(fromLibrary);
    }

    CheckText(TitleFromFileName(std::string(reinterpret_cast<const char*>(data), size)));
    return 0;
}
