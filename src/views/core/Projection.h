// The projection pass's arithmetic: the camera, what the projection keeps while the camera and
// the clip stay the same (sample rows and columns, quotient tables, the reach of each column),
// and the turn of that sample grid for one angle, one column at a time.
#pragma once

#include <cstdint>

#include "terrain/HeightField.h"
#include "terrain/Tables.h"
#include "util/Geometry.h"

// Scaled heights per screen position, indexed like the field (x * 240 + y).
using TProjHeightArray = THeightArray;

struct TCamera {
    int32_t CameraX = 160;
    int32_t CameraY = 480;
    int32_t CameraZ = 240;
    int32_t HorizonOffset = 72;
    uint16_t CamRot = 0;
};

// Markers of a column's sample list (a sample is otherwise a field index).
constexpr int32_t SampleOutside = -1;
constexpr int32_t SampleHalfWay = -2; // a double tie: only the extended formula decides

// The clip rectangle within the field; may be empty.
struct TFieldClip {
    int32_t Left, Top, Right, Bottom;
    bool Empty() const { return Left > Right || Top > Bottom; }
    bool Contains(int64_t mx, int64_t my) const {
        return mx >= Left && mx <= Right && my >= Top && my <= Bottom;
    }
};

// Where samples of rows first ... last of one column land: a field index, SampleOutside, or
// SampleHalfWay; true when there is a SampleHalfWay. rx holds the column's sample offsets,
// across and down the row terms.
using TColumnSamples = bool (*)(const int32_t* rx, const double* across, const double* down,
                                double c, double s, const TFieldClip& clip, int32_t first,
                                int32_t last, int32_t* sample);
bool ColumnSamplesPlain(const int32_t* rx, const double* across, const double* down, double c,
                        double s, const TFieldClip& clip, int32_t first, int32_t last,
                        int32_t* sample);

// The look-ups of rows first ... last of one column's samples: each sample in the field gives
// quotientOf[y][heights[sample]]; the rest leave out alone.
using TLookUp = void (*)(const uint8_t (*quotientOf)[256], const int32_t* sample, int32_t first,
                         int32_t last, const uint8_t* heights, uint8_t* outColumn);
void LookUpPlain(const uint8_t (*quotientOf)[256], const int32_t* sample, int32_t first,
                 int32_t last, const uint8_t* heights, uint8_t* outColumn);

// Rows First ... Last of a column (none when First > Last).
struct TRows {
    int16_t First, Last;
};

struct TTurn;
// The samples and look-ups of rows of column x in one pass: the same bytes as Samples, the
// half-way fix-up and LookUp.
using TTurnColumn = void (*)(const TTurn& turn, int32_t x, TRows rows, const uint8_t* heights,
                             uint8_t* outColumn);

// The kernels of a turn.
struct TTurnKernels {
    TColumnSamples Samples;
    TLookUp LookUp;
    TTurnColumn Column = nullptr; // where a level has one
};

// What the projection keeps while the camera and the clip stay the same.
struct TCameraCache {
    bool Built = false;
    TCamera Camera;
    TRect Clip;
    bool Usable = false; // every sample is small and every division defined
    TFieldClip FieldClip{};
    float S2[MapHeight];
    double Ry[MapHeight];
    int32_t Rx[MapCells];               // x * 240 + y
    uint8_t QuotientOf[MapHeight][256]; // round(h / s2) of each row, kept in 8 bits
    uint8_t QuotientPad[3];             // a 4-byte read of the last entry stays inside
    // Per row, a factor whose single-precision product with any h rounds (to nearest even) to
    // QuotientOf[y][h] in its low 8 bits; NaN where none was found, so the table decides.
    float QuotientFactor[MapHeight];
    TRows Reach[MapWidth]; // the rows of each column that can sample the clip at any angle

    // Rebuilds unless built for this camera (the angle aside) and clip; true when it rebuilt.
    bool Update(const TCamera& camera, const TRect& clip);
};

// One angle's turn of a usable cache.
struct TTurn {
    const TCameraCache* Cache = nullptr;
    float Cf = 0, Sf = 0;         // the table entries
    const TRows* Reach = nullptr; // of each column: the cache's when c² + s² is 1, else all
    double Across[MapHeight];     // -ry * s per row: exact
    double Down[MapHeight];       // ry * c per row: exact
    float AcrossF[MapHeight];     // the same rounded once to single precision
    float DownF[MapHeight];
    float SlackA[MapHeight]; // (|AcrossF| + 1) 2^-23: a row's part of the rounding bound
    float SlackB[MapHeight]; // (|DownF| + 1) 2^-23

    void Set(const TCameraCache& cache, float cf, float sf);
    // Row y's single-precision terms and slacks, from its Across and Down.
    void SetSingle(int32_t y);
    // Where the samples of rows of column x land: a field index or SampleOutside.
    void Column(TColumnSamples kernel, int32_t x, TRows rows, int32_t* sample) const;
};

// Whether the table entries are small enough for the cached turn (false for NaN too).
inline bool SmallTurn(float cf, float sf) {
    return (cf >= -2.0f && cf <= 2.0f) && (sf >= -2.0f && sf <= 2.0f);
}

// Every position from scratch in extended precision, raising as the plain formula does: for
// cameras the cache does not cover. out must be clear.
void ProjectEveryPosition(const THeightArray& field, const TCamera& camera, long double c,
                          long double s, const TFieldClip& clip, TProjHeightArray& out);

// The frame from the turn, column by column, over rows[x] of each column (turn.Reach when
// null). out must be clear. When found is given, it receives the rows of each column from its
// first to its last sample in the clip.
void TurnColumns(const TTurn& turn, const TTurnKernels& kernels, const TRows* rows,
                 const THeightArray& field, TProjHeightArray& out, TRows* found = nullptr);

// 120 - CameraZ * 120 div (CameraY + 120), with the 32-bit wrap of the product; raises
// EDivByZero when CameraY is -120.
int32_t HorizonOffsetFor(int32_t cameraZ, int32_t cameraY);
