// Presents one view's picture in its native window through X shared memory: two segments,
// each reused only after the server reports it read; a plain put-image, split to the server's
// request size, where shared memory is missing or refused (at the attach, or a put later).
#pragma once

#include <QColor>
#include <QImage>
#include <QRect>

#include <cstdint>
#include <vector>

#include <xcb/xcb.h>

#include "platform/x11/VisualPixels.h"

class TShmConnection;

class TShmPresenter {
  public:
    // False from Ready() when the window's visual cannot be written.
    TShmPresenter(TShmConnection& connection, xcb_window_t window);
    ~TShmPresenter(); // releases the segments and the graphics context
    TShmPresenter(const TShmPresenter&) = delete;
    TShmPresenter& operator=(const TShmPresenter&) = delete;

    bool Ready() const { return FReady; }
    // Shows area (in the picture's pixels) of picture, each pixel scale x scale on the screen.
    // Waits for a segment only when both are still being read, and then at most WaitMs.
    void Present(const QImage& picture, const QRect& area, int scale);
    // Fills area (in logical pixels) with a colour: a window without a picture.
    void Fill(const QRect& area, const QColor& colour, int scale);
    // Gives the segments back (the view finalises); the next present makes new ones.
    void ReleaseSegments();
    bool Shared() const { return FShared; }

    static constexpr int WaitMs = 200;

  private:
    struct TSegment {
        uint32_t Id = 0; // the server's name; 0 without a segment
        uint8_t* Bits = nullptr;
        bool InFlight = false;
        bool Refused = false; // the server refused its latest put
        QRect Put;            // what its latest put showed, in the picture's pixels
    };
    bool MakeBuffers(int width, int height);
    bool AttachSegment(TSegment& segment, size_t bytes);
    // After a refused put: what it showed is shown again, by plain puts from now on.
    bool Refused() const;
    void FallBack();
    void PutPlain(const QImage& picture, const QRect& shown);

    TShmConnection& FLink;
    xcb_window_t FWindow;
    xcb_gcontext_t FGc = 0;
    TVisualFormat FFormat;
    uint8_t FDepth = 0;
    int FPad = 32;
    bool FReady = false;
    bool FShared = false; // segments in use; else one plain buffer put in pieces
    bool FPutRefused = false; // the server refused a put: no segments again
    int FWidth = 0, FHeight = 0, FScale = 0; // the buffers' picture size and scale
    ptrdiff_t FPitch = 0;                    // bytes per device row
    static constexpr int Segments = 2;
    TSegment FSegments[Segments];
    int FLast = 0; // the segment put last
    std::vector<uint8_t> FPlain;
    QRect FMissed; // shown by no put yet: the last present found no free segment
};
