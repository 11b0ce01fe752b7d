// Finding and copying the part of a row of 16-bit pixels that changed, in runs of 16 pixels:
// the present copies and shows only that part.
#pragma once

#include <cstdint>

// The pixels compared and copied as one.
constexpr int ChangedRun = 16;

// Copies the part of the row at from that differs from the row at to, in whole runs of 16
// pixels counted from the row's start: [first, end) are the pixels copied, end cut to width.
// False, with nothing copied, when the rows are equal. The kernel of KernelSimd()'s level.
bool CopyChangedRow(const uint8_t* from, uint8_t* to, int width, int& first, int& end);

// The same in plain C++ (the kernel off x86 and before AVX2).
bool CopyChangedRowPlain(const uint8_t* from, uint8_t* to, int width, int& first, int& end);
