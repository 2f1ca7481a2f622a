// Text conversions between UTF-8, UTF-16 and the system's ANSI code page, for
// text that comes from outside (settings, playlists, folder listings) and for
// the wide-character Windows and library calls. Invalid input is reported as
// a value, never thrown. Plain code but for the ANSI code page, which is asked
// of Windows; elsewhere (the native checker and fuzzer) it is Windows-1252.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// True when no byte is 0x80 or above.
bool IsAscii(std::string_view text);

// Where text stops being valid UTF-8 (overlong forms, surrogates and values
// past U+10FFFF are invalid); text.size() when all of it is valid.
size_t Utf8ValidLength(std::string_view text);
inline bool IsValidUtf8(std::string_view text) {
    return Utf8ValidLength(text) == text.size();
}

// Appends text as UTF-16; false, with nothing appended, when it is not valid UTF-8.
bool Utf8ToUtf16(std::string_view text, std::u16string& out);

// Appends text as UTF-8; false, with what came before it appended, at an
// unpaired surrogate.
bool Utf16ToUtf8(std::u16string_view text, std::string& out);

// Appends bytes in the system's ANSI code page as UTF-16; every byte converts.
void AnsiToUtf16(std::string_view text, std::u16string& out);

// A name written by a player's tool: UTF-8 when it is valid UTF-8, else the
// ANSI code page, as UTF-16.
std::u16string ExternalToUtf16(std::string_view text);
// The same as UTF-8: the text itself when it is valid UTF-8.
std::string ExternalToUtf8(std::string_view text);

// Where a text file stops being text, and what is there.
struct TextFault {
    const char* what = nullptr;  // nullptr: the whole file is text
    size_t byte = 0;             // from the start of the file
    size_t line = 0;             // from 1
};

// The text of a file's bytes. With a UTF-16 byte-order mark (either byte
// order) the rest is converted to UTF-8 and utf16 is set; any other file is
// taken byte for byte. A NUL (which ends the text for every C string), a lone
// surrogate or a half character at the end is a fault: text then holds what
// comes before it.
void DecodeTextFile(std::string_view bytes, std::string& text, bool& utf16, TextFault& fault);
