// The settings document: ./audio/streams/settings.ini, read when the first
// game runs and written back at exit. Only the worker thread uses it while the
// game runs; the exit save runs after the worker is gone. The helper thread
// saves the position early through a document of its own, and reads the
// player's edits into new documents that the worker then takes in place of its own.
#pragma once

#include <cstdint>
#include <string>

#include "platform/files.h"

// The document type: the INI library's narrow-character, case-insensitive
// document, with the library's template bodies, so that any file may make one.
#ifndef SI_IMPLEMENTATION
#define SI_IMPLEMENTATION
#endif
#include <SimpleIni.h>

constexpr int kSaveOk = 0;
constexpr int kSaveCannotOpen = -3;
// The file on disk must not be written over (see ReadSettingsDocument); SaveRefusal says why.
constexpr int kSaveRefused = -4;
// The file changed (an edit was saved) while the save made its text; nothing was written.
constexpr int kSaveChangedMeanwhile = -5;
// The exit's save makes its text again this often when edits keep overtaking it.
constexpr int kSaveAttempts = 3;

enum class SettingsFileState { kRead, kMissing, kRefused };

// Reads the settings file at path into document (emptied first, in UTF-8
// mode), as every read of settings.ini is made. Any 8-bit text passes as it
// is, a leading UTF-8 signature skipped; a file that starts with a UTF-16
// byte-order mark (either byte order) is read as UTF-16 and held as UTF-8.
// kMissing: there is no such file; the document stays empty. kRefused: the
// file must never be written over, because it cannot be read whole or holds
// a NUL or a damaged UTF-16 character; the document holds what comes before
// that, and why says what is wrong in words for the player ("it holds ...").
// A file read as UTF-16 gives kRead with why saying so; otherwise why is
// empty. Uses nothing but its arguments: safe on any thread.
SettingsFileState ReadSettingsDocument(CSimpleIniA& document, const char* path, std::string& why);

// How LoadSettings found settings.ini, and what ReadSettingsDocument said of it.
extern SettingsFileState g_settingsFileState;
extern const std::string& g_settingsFileNote;

// Replaces the document with settings.ini as it is on disk now, through
// ReadSettingsDocument, and marks it loaded.
void LoadSettings();

// Counts the loads: what is read from a document stays valid while it is unchanged.
extern uint32_t g_settingsGeneration;

// Set once LoadSettings has run: a document never loaded must never be saved
// over the player's file.
extern bool g_settingsLoaded;

// Writes the document to path through a temporary file in the same folder and
// one rename. The position entry, when stored since loading, is merged into the
// file as it is on disk then, so that edits made while the game ran are kept;
// when there is no file then, the whole document is written. 0 on success,
// -3 when the file cannot be written (a read-only file, a missing folder, a
// failed rename), -4 when the file on disk is refused by ReadSettingsDocument,
// -5 when edits kept changing the file while the text was made, another
// negative status when writing fails. The old file stays as it was on
// failure, no folder is made and no temporary file is left.
int SaveSettings(const char* path);

// Why the last SaveSettings gave kSaveRefused, as ReadSettingsDocument said it.
const char* SaveRefusal();

// Writes seconds as POSITION/seconds into settings.ini as it is on disk now,
// through its own document (never the one the worker uses) and the same
// temporary file and rename; nothing is written unless ReadSettingsDocument
// reads the file. False, with nothing done, while the player is writing the
// file (the save would cut the edit short) or when an edit was saved while the
// text was made (the rename would lose it). Runs on the helper thread.
bool SavePosition(int32_t seconds);

// The value of section/key, or fallback when either is missing; a copy.
std::string GetValue(const char* section, const char* key, const char* fallback);

// A whole number in decimal, or hexadecimal after "0x"; fallback when missing,
// empty, 64 characters or longer, or followed by anything else. Beyond 32 bits
// it gives the nearest limit.
int32_t GetLongValue(const char* section, const char* key, int32_t fallback);

// Stores value as signed decimal, creating the section and key when missing.
void SetLongValue(const char* section, const char* key, int32_t value);

// ---- documents read afresh while the game runs ------------------------------

struct SettingsDocument;

enum class SettingsRead { kTaken, kRefused, kChanging };

// Helper thread: reads settings.ini, last seen with stamp, into a new
// document whose position entry is the worker's (the broadcast time is never
// taken from an edit). kChanging, with nothing read, when the file changed
// meanwhile; kRefused, with why in words for the player, when it cannot be
// taken.
SettingsRead ReadEditedSettings(const FileStamp& stamp, SettingsDocument*& document, std::string& why);

// Helper thread: gives document the worker's position entry as it is now.
void StampPosition(SettingsDocument& document);
// False when the worker has stored a position since document was stamped.
bool PositionCurrent(const SettingsDocument& document);

// A value of a document that is not (or not yet) the worker's; a copy.
std::string ValueIn(const SettingsDocument& document, const char* section, const char* key, const char* fallback);
int32_t LongValueIn(const SettingsDocument& document, const char* section, const char* key, int32_t fallback);
// Bit n: station n's source changed in the documents up to this one.
uint16_t& ChangedSources(SettingsDocument& document);

void FreeSettingsDocument(SettingsDocument* document);

// Worker thread: document becomes the one every lookup reads, in one step;
// what was read from the old one must be read again. Returns the old one.
SettingsDocument* UseSettingsDocument(SettingsDocument* document);
