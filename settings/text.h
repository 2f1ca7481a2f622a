// Small text helpers for the settings values, section names and file paths.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The folder of every file the module reads or writes, relative to the game's
// current directory.
extern const std::string& g_baseDir;

// Field n (from 1) of text split at separator. Numbers of 1 or less give the
// first field; numbers past the last field wrap round to the first and count on.
std::string FieldAt(int16_t n, const std::string& text, char separator);

// Every field of text split at separator, in order: FieldAt for 1 to the count.
std::vector<std::string> Fields(const std::string& text, char separator);

std::string NumberToText(int32_t number);

// Section of a station: "TRACK" and the station number widened with its sign.
std::string TrackSection(int8_t station);

std::string BaseDirFile(const std::string& name);

// The text with its ASCII letters in lower case: names compared as Windows compares them.
std::string LowerCase(std::string text);

// Whether a source names an internet stream: its first field at ':' is http
// or https, in any letter case.
bool IsInternetAddress(const std::string& source);
