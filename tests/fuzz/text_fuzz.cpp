// Arbitrary bytes as players' text: a .m3u or .m3u8 playlist, a playlist or
// source value, and the conversions they go through. Nothing may throw or
// crash, every name that comes out is valid UTF-8 without a NUL, and each
// conversion gives back what it was given.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/unicode.h"
#include "radio/playlist/tracklist.h"

namespace {

enum Use : uint8_t { kM3u, kM3u8, kPlaylistValue, kSourceValue, kUses };
const char kListFolder[] = "lists";

std::string g_folder;

void RemoveFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(g_folder, ignored);
}

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "text fuzz: %s\n", what);
    RemoveFolder();
    std::abort();
}

bool IsCleanName(const std::string& name) {
    return IsValidUtf8(name) && name.find('\0') == std::string::npos;
}

void CheckList(const TrackList& list) {
    for (const TrackFile& track : list.tracks)
        if (!IsCleanName(track.name) || track.path.empty()) Fail("a track without a clean name or path");
    for (const SkippedTrack& skipped : list.skipped)
        if (!IsValidUtf8(skipped.name) || skipped.reason.empty()) Fail("a left-out line without a UTF-8 name or reason");
}

// A value stays inside the private folder: no separators of its own.
std::string FolderValue(std::string_view bytes) {
    std::string value(kListFolder);
    value += '/';
    for (const char c : bytes) value += c == '/' ? '_' : c;
    return value;
}

void CheckConversions(std::string_view bytes) {
    std::u16string wide;
    const bool valid = Utf8ToUtf16(bytes, wide);
    if (valid != IsValidUtf8(bytes)) Fail("Utf8ToUtf16 and IsValidUtf8 disagree");
    if (valid) {
        std::string back;
        if (!Utf16ToUtf8(wide, back) || back != bytes) Fail("UTF-8 does not come back from UTF-16");
    }
    const std::string external = ExternalToUtf8(bytes);
    if (!IsValidUtf8(external)) Fail("ExternalToUtf8 gave invalid UTF-8");
    if (valid && external != bytes) Fail("ExternalToUtf8 changed valid UTF-8");
    if (IsAscii(bytes) && !valid) Fail("ASCII that is not UTF-8");

    // The bytes as UTF-16 units: either converted whole and back, or refused.
    std::u16string units;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        units.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | static_cast<uint8_t>(bytes[i + 1]) << 8));
    std::string utf8;
    std::u16string again;
    if (Utf16ToUtf8(units, utf8) && (!Utf8ToUtf16(utf8, again) || again != units)) Fail("UTF-16 does not come back");

}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* base = std::getenv("TMPDIR");
    g_folder = std::string(base && *base ? base : "/tmp") + "/zorve-text-fuzz-XXXXXX";
    if (!mkdtemp(g_folder.data()) || chdir(g_folder.c_str()) != 0) Fail("no private folder");
    std::atexit(RemoveFolder);
    std::error_code error;
    if (!std::filesystem::create_directories(kListFolder, error)) Fail("no list folder");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const Use use = static_cast<Use>(data[0] % kUses);
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    CheckConversions(bytes);
    switch (use) {
    case kM3u:
    case kM3u8: {
        const std::string name = std::string(kListFolder) + (use == kM3u ? "/in.m3u" : "/in.m3u8");
        if (WriteWholeFile(name.c_str(), bytes.data(), bytes.size()) != WriteResult::kOk) Fail("cannot write the input");
        CheckList(ReadTrackList(name, data[0] & 0x80, data[0]));
        std::remove(name.c_str());
        break;
    }
    case kPlaylistValue:
        CheckList(ReadTrackList(FolderValue(bytes), false, 1));
        break;
    case kSourceValue: {
        const std::string value = FolderValue(bytes);
        const CallPath call = ToCallPath(value.c_str());
        // The calls see the value up to its first NUL, as the module's C strings end there.
        if (call.Wide() == IsAscii(value.c_str())) Fail("an ASCII path made wide, or the reverse");
        PathExists(value.c_str());
        break;
    }
    default:
        break;
    }
    return 0;
}
