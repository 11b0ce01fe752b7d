// Small utilities: the program's folder and a path's, the sine and cosine tables, integer text.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

using TTrigTable = std::array<float, 360>;

// Folder of the running executable, ending in the directory separator exactly once.
std::string GetAppPath();
// The folder part of a path, ending in the separator: "dir/" for "dir/name", "./" for a bare
// name.
std::string FolderOf(const std::string& path);

// SinTable[i] and CosTable[i] for i whole degrees: the angle is formed in extended precision,
// stored as single precision, and its sine and cosine taken in extended precision.
void MakeTrigTables(TTrigTable& sinTable, TTrigTable& cosTable);

// Reads a decimal 32-bit integer: optional sign, then digits only. Empty on anything else or
// on overflow.
std::optional<int32_t> TextToInt32(std::string_view text);
