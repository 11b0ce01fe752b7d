// The hand-written x86 kernels, each the twin of a plain kernel with the same contract. Only
// called where the renderer's options and the processor allow their level.
#pragma once

#include "util/Platform.h"
#include "views/core/BlankBars.h"
#include "views/core/Projection.h"

#if VOXEL_X86
// ColumnSamplesPlain four rows at a time (AVX2).
bool ColumnSamplesAvx2(const int32_t* rx, const double* across, const double* down, double c,
                       double s, const TFieldClip& clip, int32_t first, int32_t last,
                       int32_t* sample);
// ColumnSamplesPlain eight rows at a time (AVX-512 F, VL).
bool ColumnSamplesAvx512(const int32_t* rx, const double* across, const double* down, double c,
                         double s, const TFieldClip& clip, int32_t first, int32_t last,
                         int32_t* sample);
// LookUpPlain eight rows at a time with gathers (AVX2); as LookUpAvx512 otherwise.
void LookUpAvx2(const uint8_t (*quotientOf)[256], const int32_t* sample, int32_t first,
                int32_t last, const uint8_t* heights, uint8_t* outColumn);
// LookUpPlain sixteen rows at a time with gathers (AVX-512 F, BW, VL); the field's last three
// cells, where a 4-byte read would leave the field, one by one.
void LookUpAvx512(const uint8_t (*quotientOf)[256], const int32_t* sample, int32_t first,
                  int32_t last, const uint8_t* heights, uint8_t* outColumn);
// TTurn::Column and LookUpPlain of one column sixteen rows at a time, in single precision where
// that provably rounds alike, else as ColumnSamplesAvx512 (AVX-512 F, BW, VL).
void TurnColumnAvx512(const TTurn& turn, int32_t x, TRows rows, const uint8_t* heights,
                      uint8_t* outColumn);
// TurnColumnAvx512 eight rows at a time, its double path ColumnSamplesAvx2 (AVX2, FMA).
void TurnColumnAvx2(const TTurn& turn, int32_t x, TRows rows, const uint8_t* heights,
                    uint8_t* outColumn);
// BlankColumnPlain with the bars that show found sixteen rows at a time (AVX2).
void BlankColumnAvx2(const TBlankBars& b, int32_t x, uint16_t* column);
// BlankColumnPlain 32 rows at a time (AVX-512 F, BW, VL).
void BlankColumnAvx512(const TBlankBars& b, int32_t x, uint16_t* column);
// StripToSurfacePlain with an 8 x 8 transpose of 16-bit pixels (SSE2; AVX2 two blocks at once)
// for whole strips on a 2-byte surface.
void StripToSurfaceAvx2(const TBlankBars& b, const uint16_t (*strip)[BlankBars::StripRows],
                        int32_t n, int32_t x0);
void StripToSurfaceSse2(const TBlankBars& b, const uint16_t (*strip)[BlankBars::StripRows],
                        int32_t n, int32_t x0);
// BlankRowsPlain 128 bytes at a time (AVX2).
bool BlankRowsAvx2(const uint8_t* bits, int64_t pitch, int32_t left, int32_t right, int32_t top,
                   int32_t bottom);
#endif
