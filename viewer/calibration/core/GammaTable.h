// Gamma tables: the CSV files that carry the unit's three user curves in 10-bit scale, the
// identity table, and the transfers of the Calibration page's gamma buttons.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "viewer/files/Files.h"

namespace calibration {

constexpr int kGammaTableCount = 3;
constexpr int kGammaEntries = 4096;
constexpr size_t kGammaTableBytes = 8192;
constexpr int kGammaCsvLines = 1024;
constexpr int kGammaMaxValue = 1023;
// Characters of a line that are looked at.
constexpr size_t kGammaLineChars = 255;
// What is read at all: a larger file is no gamma table (and an endless input such as a device
// ends at once). It bounds a line's length too; the reader only looks at its start anyway.
constexpr size_t kGammaMaxFileBytes = 4 * 1024 * 1024;

// The three tables one after the other (table k at byte 8192 k), entries big-endian.
using GammaTables = std::array<uint8_t, kGammaTableBytes * kGammaTableCount>;

// Reads a gamma CSV text into `tables`. Lines starting with '#', '/' or ';', lines shorter than
// six characters with their line end ("1,2" and its line end, a last "1,2,3" without one) and
// lines without three comma-separated integers are skipped; only the first 255 characters of a
// line are looked at. Accepted line i
// sets entries 4i .. 4i + 3 of each table to its value x 4. Lines after the 1,024th accepted one
// are ignored. True only with 1,024 accepted lines and every accepted value within 0..1023 (a
// larger one would not fit the entry); on false the tables are unspecified and `reason`, when
// given, says which line and why (or how many lines were accepted).
bool ParseGammaCsv(std::string_view text, GammaTables& tables, std::string* reason = nullptr);
// The same for a file; false as well when it cannot be read or is larger than kGammaMaxFileBytes.
bool LoadGammaCsv(const std::string& path, GammaTables& tables, std::string* reason = nullptr);

// Entry 4i of each table over 4, as "%d,%d,%d" lines ended with CR LF, for i = 0 .. 1,023.
std::string GammaCsvText(const GammaTables& tables);
// Replaces the file only once it is written completely; the result says why it was not.
files::Result SaveGammaCsv(const std::string& path, const GammaTables& tables);

// Entry i = i, big-endian, into 8,192 bytes.
void FillIdentityGammaTable(uint8_t* table);

// The gamma buttons on the unit; each returns the message to show. Every transfer stops at the
// first failing call; tables sent before it stay in the unit. `reason`, when given, receives why
// the file could not be loaded or saved.
// Nothing is sent for a bad file.
std::string UploadGammaCsv(const std::string& path, std::string* reason = nullptr);
// The file is written after all three reads.
std::string DownloadGammaCsv(const std::string& path, std::string* reason = nullptr);
std::string SaveGammaTablesToUnitEeprom();
std::string ClearGammaTables();

}  // namespace calibration
