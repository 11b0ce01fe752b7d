// The views on a test form: initialisation and finalisation, presenting, pixels, colours, canvas.
#include <gtest/gtest.h>

#include <QScreen>
#include <QPainter>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "present/ChangedRow.h"
#include "present/DXDraw.h"
#include "platform/Rgb565.h"
#include "util/CpuFeatures.h"
#include "support/PlatformDoubles.h"
#include "support/QtHelpers.h"
#include "toolkit/Application.h"
#include "util/Exceptions.h"
#include "toolkit/Form.h"

namespace {

uint32_t To565(QRgb rgb) {
    return ((qRed(rgb) >> 3) << 11) | ((qGreen(rgb) >> 2) << 5) | (qBlue(rgb) >> 3);
}

QImage Filled(int width, int height, uint16_t native) {
    QImage image(width, height, QImage::Format_RGB16);
    image.fill(native);
    return image;
}

uint32_t Pattern(int x, int y) {
    return (x * 37u + y * 1031u + 1u) & 0xFFFFu;
}

void DrawPattern(TDirectDrawSurface* surface, int dx = 0, int ky = 1) {
    TLockedSurface s;
    ASSERT_TRUE(LockSurface(surface, s));
    for (int y = 0; y < s.Height; ++y)
        for (int x = 0; x < s.Width; ++x)
            StorePixel(s, x, y, Pattern(x + dx, y * ky));
    UnlockSurface(surface, s.Bits);
}

// A form holding DXScreen and DXMap side by side, 320 x 240 each; shows and OnInitialize logged.
class DXDrawTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PlatformFaults() = {};
        Form = std::make_unique<TForm>();
        Form->SetClientSize(640, 240);
        Form->WindowProc = [this](QEvent* event) {
            if (event->type() == QEvent::Show) Log.push_back("form shown");
            return Form->DefaultHandler(event);
        };
        Screen = MakeView("DXScreen", 0);
        Map = MakeView("DXMap", 320);
    }
    void TearDown() override {
        Form.reset();
        PlatformFaults() = {};
    }
    TDXDraw* MakeView(const std::string& name, int left) {
        auto* view = new TDXDraw(Form->Client());
        view->setGeometry(left, 0, 320, 240);
        view->Loaded();
        view->OnInitialize = [this, name](QObject*) { Log.push_back(name); };
        return view;
    }

    std::unique_ptr<TForm> Form;
    TDXDraw* Screen = nullptr;
    TDXDraw* Map = nullptr;
    std::vector<std::string> Log;
};

TEST_F(DXDrawTest, InitialisesOnFirstShowAfterTheFormInCreationOrderAndOnlyOnce) {
    Map->SetViewSize(200, 100); // before the show: stored only
    EXPECT_EQ(Map->BackSurface(), nullptr);
    EXPECT_EQ(Map->SurfaceWidth(), 200);
    Form->show();
    EXPECT_EQ(Log, (std::vector<std::string>{"form shown", "DXScreen", "DXMap"}));
    TLockedSurface s;
    ASSERT_TRUE(LockSurface(Screen->BackSurface(), s));
    EXPECT_TRUE(s.Bits && s.Pitch == 640 && s.BitCount == 16 && s.Width == 320 && s.Height == 240);
    UnlockSurface(Screen->BackSurface(), s.Bits);
    EXPECT_EQ(Map->BackSurface()->Image()->size(), QSize(200, 100));
    Form->hide();
    Form->show();
    EXPECT_EQ(Log.size(), 4u); // only the form's own handling again
}

TEST_F(DXDrawTest, WhatInitialiseOrALostSurfaceLeftIsClearedToBlack) {
    QImage shownDuringInitialise;
    Screen->OnInitialize = [&](QObject*) {
        FillSurface(Screen->BackSurface(), 0xF81Fu);
        FlipView(Screen);
        shownDuringInitialise = Screen->Presented().copy();
    };
    Map->OnRestoreSurface = [&](QObject*) {
        EXPECT_TRUE(Map->Updating()); // so this present is ignored
        FillSurface(Map->BackSurface(), 0x07E0u);
        FlipView(Map);
    };
    Form->show();
    EXPECT_EQ(shownDuringInitialise, Filled(320, 240, 0xF81F));
    EXPECT_EQ(Screen->Presented(), Filled(320, 240, 0));
    EXPECT_EQ(*Screen->BackSurface()->Image(), Filled(320, 240, 0));
    EXPECT_EQ(Map->Presented(), Filled(320, 240, 0));
    EXPECT_EQ(*Map->BackSurface()->Image(), Filled(320, 240, 0x07E0)); // drawn after the clearing
    // A lost screen surface is restored by the next present, which clears both again.
    int restored = 0;
    Screen->OnRestoreSurface = [&](QObject*) { ++restored; };
    FillSurface(Screen->BackSurface(), 0x1234u);
    PlatformFaults().PrimaryLost = true;
    FlipView(Screen);
    EXPECT_EQ(restored, 1);
    EXPECT_FALSE(PlatformFaults().PrimaryLost);
    EXPECT_EQ(Screen->Presented(), Filled(320, 240, 0));
}

TEST_F(DXDrawTest, WindowShowsWhatTheBackSurfaceHolds) {
    Form->show();
    DrawPattern(Screen->BackSurface());
    FlipView(Screen);
    EXPECT_EQ(Screen->Presented(), *Screen->BackSurface()->Image());
    // Painting converts to a 32-bit target as Qt would, and copies to a 16-bit one as it is.
    const QImage window = Screen->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(window, Screen->Presented().convertToFormat(QImage::Format_RGB32));
    QImage target16(320, 240, QImage::Format_RGB16);
    Screen->render(&target16);
    EXPECT_EQ(target16, Screen->Presented());
    EXPECT_EQ(To565(Map->grab().toImage().pixel(5, 5)), 0u); // not presented: still black
    // In a window smaller than its client area, the scroll bar stays over the view's bottom rows.
    Form->resize(400, 240);
    QApplication::processEvents();
    FillSurface(Screen->BackSurface(), 0xFFFFu);
    FlipView(Screen);
    const QImage shown = Form->screen()->grabWindow(Form->winId()).toImage();
    EXPECT_EQ(To565(shown.pixel(5, 5)), 0xFFFFu);
    EXPECT_NE(To565(shown.pixel(5, 235)), 0xFFFFu);
}

TEST_F(DXDrawTest, BackSurfaceOfAnotherSizeIsCentredAndCut) {
    Screen->AutoSize = Map->AutoSize = false;
    Screen->SetSurfaceWidth(100);
    Screen->SetSurfaceHeight(50);
    Map->SetSurfaceWidth(401);
    Map->SetSurfaceHeight(243);
    Form->show();
    for (TDXDraw* view : {Screen, Map}) {
        DrawPattern(view->BackSurface());
        FlipView(view);
    }
    const QImage& small = Screen->Presented();
    EXPECT_EQ(To565(small.pixel(109, 95)), 0u);
    EXPECT_EQ(To565(small.pixel(110, 95)), Pattern(0, 0));
    EXPECT_EQ(To565(small.pixel(209, 144)), Pattern(99, 49));
    EXPECT_EQ(To565(small.pixel(210, 144)), 0u);
    // (320 - 401) / 2 = -40 and (240 - 243) / 2 = -1: truncated toward zero.
    EXPECT_EQ(To565(Map->Presented().pixel(0, 0)), Pattern(40, 1));
    EXPECT_EQ(To565(Map->Presented().pixel(319, 239)), Pattern(359, 240));
    // The window area shrank and no new primary could be made: the copy stays inside it.
    PlatformFaults().RefusePrimarySurface = true;
    Map->resize(200, 100);
    DrawPattern(Map->BackSurface());
    FlipView(Map);
    PlatformFaults() = {};
    EXPECT_EQ(To565(Map->Presented().pixel(199, 99)), Pattern(299, 170));
    EXPECT_EQ(To565(Map->Presented().pixel(250, 150)), Pattern(290, 151));
}

TEST_F(DXDrawTest, OutsideTheInitialisedStateNothingIsDrawnOrPresented) {
    EXPECT_NO_THROW(FlipView(Screen));
    EXPECT_TRUE(Screen->Presented().isNull());
    Form->show();
    Screen->FinalizeView();
    EXPECT_FALSE(Screen->Initialized());
    EXPECT_EQ(Screen->BackSurface(), nullptr);
    EXPECT_EQ(Screen->SurfaceWidth(), 320); // stored size kept
    EXPECT_NO_THROW(FlipView(Screen));
    EXPECT_TRUE(Screen->Presented().isNull());
    Screen->Color = QColor(10, 20, 30);
    EXPECT_EQ(QColor(Screen->grab().toImage().pixel(7, 7)), QColor(10, 20, 30));
    EXPECT_EQ(SurfaceCanvas(Screen->BackSurface()), nullptr);
    EXPECT_FALSE(FillSurface(Screen->BackSurface(), 1));
    EXPECT_EQ(MatchColor(Screen->BackSurface(), 0xFFFFFFu), 0u);
}

TEST_F(DXDrawTest, OnlyTheWindowSystemsCloseRequestFinalises) {
    int finalized = 0;
    Screen->OnFinalize = [&](QObject*) { ++finalized; };
    Form->show();
    Form->Close();
    EXPECT_TRUE(Screen->Initialized() && Map->Initialized());
    Form->show();
    SendSpontaneousClose(Form.get());
    EXPECT_EQ(finalized, 1);
    EXPECT_FALSE(Screen->Initialized() || Map->Initialized());
    Form->hide();
    Form->show();
    EXPECT_FALSE(Screen->Initialized());
    EXPECT_EQ(Log.size(), 5u); // three from the first show, then only the form's shows
}

// A close request the form refuses (its save failed) finalises first, as any close request
// does, and then brings the views back, each showing what it showed: they draw and present
// again, and the next accepted request leaves them finalised.
TEST_F(DXDrawTest, ARefusedCloseRequestLeavesWorkingViewsShowingWhatTheyShowed) {
    std::vector<std::string> order;
    bool refuse = true;
    Form->WindowProc = [&](QEvent* event) {
        if (event->type() != QEvent::Close) return Form->DefaultHandler(event);
        order.push_back(Screen->Initialized() || Map->Initialized() ? "saved alive" : "saved");
        event->setAccepted(!refuse);
        return true;
    };
    Screen->OnFinalize = [&](QObject*) { order.push_back("finalised"); };
    Form->show();
    DrawPattern(Map->BackSurface());
    FlipView(Map);
    const QImage shown = Map->Presented().copy();
    EXPECT_FALSE(SendSpontaneousClose(Form.get()));
    EXPECT_EQ(order, (std::vector<std::string>{"finalised", "saved"}));
    ASSERT_TRUE(Screen->Initialized() && Map->Initialized());
    EXPECT_EQ(*Map->BackSurface()->Image(), shown);
    EXPECT_EQ(Map->Presented(), shown);
    DrawPattern(Map->BackSurface(), 5);
    FlipView(Map);
    EXPECT_NE(Map->Presented(), shown);

    refuse = false;
    EXPECT_TRUE(SendSpontaneousClose(Form.get()));
    EXPECT_FALSE(Screen->Initialized() || Map->Initialized());
}

TEST_F(DXDrawTest, InitialisationErrorsFinaliseForGoodAndReachTheCaller) {
    const auto expectError = [this](void (*arrange)(TPlatformFaults&), const char* message,
                                    bool clipper) {
        SCOPED_TRACE(message);
        PlatformFaults() = {};
        arrange(PlatformFaults());
        TDXDraw view(Form->Client());
        try {
            view.InitializeView();
            ADD_FAILURE() << "no error";
        } catch (const std::exception& e) {
            EXPECT_STREQ(e.what(), message);
            EXPECT_EQ(dynamic_cast<const EDirectDrawClipperError*>(&e) != nullptr, clipper);
            EXPECT_EQ(dynamic_cast<const EDXDrawError*>(&e) != nullptr, !clipper);
        }
        EXPECT_FALSE(view.Initialized() || view.Updating());
        EXPECT_EQ(view.PrimarySurface(), nullptr);
        EXPECT_EQ(view.BackSurface(), nullptr);
        EXPECT_NO_THROW(FlipView(&view));
    };
    expectError([](TPlatformFaults& f) { f.RefusePrimarySurface = true; },
                "Primary Surface cannot be made", false);
    expectError([](TPlatformFaults& f) { f.RefuseClipper = true; }, "Clipper cannot be made", true);
    expectError([](TPlatformFaults& f) { f.RefuseBackSurface = 2; }, "Surface cannot be made",
                false);
    // One refusal of the back surface is overcome by asking again.
    PlatformFaults() = {};
    PlatformFaults().RefuseBackSurface = 1;
    TDXDraw view(Form->Client());
    view.InitializeView();
    EXPECT_TRUE(view.Initialized());
}

TEST_F(DXDrawTest, InitialisationErrorOnShowIsShownAndNotRetried) {
    TModalBoxCloser boxes;
    PlatformFaults().RefusePrimarySurface = true;
    Form->show();
    EXPECT_EQ(boxes.Texts, std::vector<QString>{QStringLiteral("Primary Surface cannot be made.")});
    EXPECT_TRUE(Screen->InitializeAttempted());
    PlatformFaults() = {};
    Form->hide();
    Form->show();
    EXPECT_FALSE(Screen->Initialized());
    EXPECT_TRUE(Map->Initialized()); // the error had cut the first show short before its turn
}

TEST_F(DXDrawTest, HooksComeOffInAnyOrder) {
    delete Screen; // installed first, removed first: DXMap's hook must still reach the form
    Form->show();
    EXPECT_EQ(Log, (std::vector<std::string>{"form shown", "DXMap"}));
    delete Map;
    Form->hide();
    Form->show();
    EXPECT_EQ(Log.back(), "form shown");
}

// Pixels outside the surface are neither written nor read; colour matching leaves its pixel.
TEST_F(DXDrawTest, PixelsAndColourMatchingStayWithinTheirPixels) {
    Form->show();
    TDirectDrawSurface* back = Map->BackSurface();
    for (const QPoint p : {QPoint(320, 0), QPoint(0, -1), QPoint(-1, 239), QPoint(0, 240)}) {
        PutPixel(back, p.x(), p.y(), 0xFFFFu);
        EXPECT_EQ(ReadPixel(back, p.x(), p.y()), 0u);
    }
    EXPECT_EQ(*back->Image(), Filled(320, 240, 0));
    PutPixel(back, 319, 239, 0x1ABCDu); // only the low 16 bits are stored
    EXPECT_EQ(ReadPixel(back, 319, 239), 0xABCDu);
    PutPixel(back, 0, 0, 0x1234u);
    EXPECT_EQ(MatchColor(back, 0x000000u), 0u);
    EXPECT_EQ(MatchColor(back, 0x00FFFFu), 0xFFE0u); // yellow: red is the low byte
    EXPECT_EQ(MatchColor(back, 0xFF0000u), 0x001Fu);
    EXPECT_EQ(ReadPixel(back, 0, 0), 0x1234u);
    EXPECT_FALSE(SurfaceCanvas(back)->HasContext());
    PlatformFaults().RefuseLock = true;
    TLockedSurface s;
    EXPECT_FALSE(LockSurface(back, s));
    EXPECT_EQ(ReadPixel(back, 319, 239), 0u);
    EXPECT_FALSE(LockSurface(nullptr, s));
}

TEST_F(DXDrawTest, CanvasDrawsTextAndNeverOverlapsALock) {
    Form->show();
    TDirectDrawSurface* back = Screen->BackSurface();
    TDirectDrawSurfaceCanvas* canvas = SurfaceCanvas(back);
    ASSERT_NE(canvas, nullptr);
    EXPECT_EQ(SurfaceCanvas(back), canvas);
    // A lock knows the surface black only from a fill with 0 that nothing wrote over since.
    TLockedSurface s;
    FillSurface(back, 0);
    for (const bool blank : {true, false}) {
        ASSERT_TRUE(LockSurface(back, s));
        EXPECT_EQ(s.Blank, blank);
        UnlockSurface(back, s.Bits);
    }
    FillSurface(back, 0);
    canvas->TextOut(8, 8, QStringLiteral("x"));
    ReleaseCanvas(canvas);
    ASSERT_TRUE(LockSurface(back, s));
    EXPECT_FALSE(s.Blank);
    UnlockSurface(back, s.Bits);
    FillSurface(back, 0x001Fu);
    ASSERT_TRUE(LockSurface(back, s));
    EXPECT_FALSE(s.Blank);
    UnlockSurface(back, s.Bits);
    canvas->BrushStyle = TDirectDrawSurfaceCanvas::TBrushStyle::bsClear;
    canvas->FontColor = QColor(255, 255, 255);
    canvas->TextOut(8, 8, QStringLiteral("F/S : 60"));
    EXPECT_FALSE(LockSurface(back, s)); // the context is still borrowed
    ReleaseCanvas(canvas);
    ASSERT_TRUE(LockSurface(back, s));
    EXPECT_THROW(canvas->TextOut(0, 0, QStringLiteral("x")), EInvalidOperation);
    UnlockSurface(back, s.Bits);
    const QImage text = back->Image()->copy(0, 0, 100, 40);
    EXPECT_NE(text, Filled(100, 40, 0x001F));
    EXPECT_EQ(ReadPixel(back, 8, 8), 0x001Fu); // no background box
    canvas->BrushStyle = TDirectDrawSurfaceCanvas::TBrushStyle::bsSolid;
    canvas->BrushColor = QColor(255, 0, 0);
    canvas->TextOut(8, 100, QStringLiteral("F/S : 60"));
    ReleaseCanvas(canvas);
    EXPECT_EQ(ReadPixel(back, 8, 100), 0xF800u);

    PlatformFaults().RefuseDeviceContext = true;
    try {
        canvas->TextOut(8, 8, QStringLiteral("F/S : 0"));
        ADD_FAILURE() << "no error";
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "Canvas does not allow drawing");
    }
}

// The canvas keeps its painter and the last text's layout; what it draws must stay what a
// fresh painter drawing the text at the same place gives, over any background, as texts change.
TEST_F(DXDrawTest, KeptTextLayoutDrawsWhatAFreshPainterDraws) {
    Form->show();
    TDirectDrawSurface* back = Screen->BackSurface();
    TDirectDrawSurfaceCanvas* canvas = SurfaceCanvas(back);
    canvas->BrushStyle = TDirectDrawSurfaceCanvas::TBrushStyle::bsClear;
    canvas->FontColor = QColor(0, 255, 255);
    int trial = 0;
    for (const char* text : {"F/S : 0", "F/S : 0", "F/S : 60", "F/S : 4087", "F/S : -12",
                             "F/S : 2147483647", "F/S : 60"}) {
        SCOPED_TRACE(text);
        ++trial;
        DrawPattern(back, trial, trial);
        QImage expected = back->Image()->copy();
        {
            QPainter painter(&expected);
            painter.setFont(canvas->Font);
            painter.setPen(canvas->FontColor);
            painter.drawText(QPoint(8, 8 + painter.fontMetrics().ascent()),
                             QString::fromLatin1(text));
        }
        canvas->TextOut(8, 8, QString::fromLatin1(text));
        ReleaseCanvas(canvas);
        EXPECT_EQ(*back->Image(), expected);
    }
}

// Through a presenter that records: each view takes one as it is made, a flip shows only the
// runs of 16 pixels that changed (nothing when nothing did), also when told where its caller's
// one write was, but everything any other write since changed; finalising releases it.
TEST(DXDrawPresentTest, AFlipShowsOnlyWhatChangedAndTheViewKeepsOnePresenter) {
    TScriptedPlatform platform;
    TForm form;
    form.SetClientSize(320, 240);
    auto* view = new TDXDraw(form.Client());
    view->setGeometry(0, 0, 320, 240);
    view->Loaded();
    form.show();
    ASSERT_TRUE(view->Initialized());
    EXPECT_EQ(platform.Log.Made, 1);
    platform.Log.Shown.clear();
    PutPixel(view->BackSurface(), 100, 50, 0xFFFFu);
    PutPixel(view->BackSurface(), 130, 52, 0xFFFFu);
    FlipView(view);
    FlipView(view);
    EXPECT_EQ(platform.Log.Shown, std::vector<QRect>{QRect(96, 50, 48, 3)});

    // One write, told where: the same runs as a whole comparison finds.
    const auto writeAt = [view](int x, int y, uint16_t value) {
        TLockedSurface s;
        ASSERT_TRUE(LockSurface(view->BackSurface(), s));
        StorePixel(s, x, y, value);
        UnlockSurface(view->BackSurface(), s.Bits);
    };
    platform.Log.Shown.clear();
    writeAt(200, 100, 0x1111);
    FlipView(view, QRect(199, 99, 3, 3));
    EXPECT_EQ(platform.Log.Shown, std::vector<QRect>{QRect(192, 100, 16, 1)});
    // A write before the caller's, a write to the window area, text drawn: each is shown.
    platform.Log.Shown.clear();
    PutPixel(view->BackSurface(), 5, 5, 0x2222);
    writeAt(200, 100, 0x3333);
    FlipView(view, QRect(200, 100, 1, 1));
    FillSurface(view->PrimarySurface(), 0);
    FlipView(view);
    TDirectDrawSurfaceCanvas* canvas = SurfaceCanvas(view->BackSurface());
    canvas->TextOut(40, 200, u"8");
    ReleaseCanvas(canvas);
    FlipView(view);
    ASSERT_EQ(platform.Log.Shown.size(), 3u);
    EXPECT_EQ(platform.Log.Shown[0], QRect(0, 5, 208, 96));
    EXPECT_EQ(platform.Log.Shown[1], QRect(0, 5, 208, 96)); // all that is not black
    EXPECT_TRUE(platform.Log.Shown[2].intersects(QRect(40, 200, 1, 1)));
    EXPECT_EQ(view->Presented(), *view->BackSurface()->Image());
    const int released = platform.Log.Released;
    view->FinalizeView();
    EXPECT_GT(platform.Log.Released, released);
    EXPECT_EQ(platform.Log.Made, 1);
}

// The changed part of a row, by both kernels: for every width around the run size and every
// pair of changed pixels, the runs from the first's to the last's are copied and nothing else.
TEST(DXDrawPresentTest, ChangedRowCopiesTheRunsFromTheFirstToTheLastChange) {
    using TKernel = bool (*)(const uint8_t*, uint8_t*, int, int&, int&);
    for (const TKernel kernel : {&CopyChangedRow, &CopyChangedRowPlain})
        for (const int width : {1, 15, 16, 17, 47, 64, 333}) {
            std::vector<uint16_t> from(width), was(width);
            for (int x = 0; x < width; ++x)
                from[x] = was[x] = static_cast<uint16_t>(Pattern(x, 3));
            std::vector<uint16_t> to = was;
            int first = -1, end = -1;
            EXPECT_FALSE(kernel(reinterpret_cast<const uint8_t*>(from.data()),
                                reinterpret_cast<uint8_t*>(to.data()), width, first, end));
            for (int a = 0; a < width; ++a)
                for (int b = a; b < width; b += 7) {
                    from = was;
                    from[a] ^= 0x8001u;
                    from[b] ^= 0x0100u;
                    to = was;
                    ASSERT_TRUE(kernel(reinterpret_cast<const uint8_t*>(from.data()),
                                       reinterpret_cast<uint8_t*>(to.data()), width, first, end));
                    ASSERT_EQ(first, a / 16 * 16) << width << ": " << a << ", " << b;
                    ASSERT_EQ(end, std::min((b / 16 + 1) * 16, width)) << width << ": " << a << ", " << b;
                    for (int x = 0; x < width; ++x)
                        ASSERT_EQ(to[x], x >= first && x < end ? from[x] : was[x]) << x;
                }
        }
}

// Presenting converts to a 32-bit window exactly as Qt converts, for every 16-bit value, at each
// level of kernels this processor runs.
TEST(PresentConversionTest, EveryValueConvertsAsQtConverts) {
    QImage all(256, 256, QImage::Format_RGB16);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            reinterpret_cast<uint16_t*>(all.scanLine(y))[x] = static_cast<uint16_t>(y * 256 + x);
    const QImage expected = all.convertToFormat(QImage::Format_RGB32);
    const TSimd widest = KernelSimd();
    for (const TSimd level : {TSimd::Portable, TSimd::Avx2, TSimd::Avx512}) {
        if (!CpuHas(level)) continue;
        SetKernelSimd(level);
        SCOPED_TRACE(testing::Message() << "level " << int(level));
        QImage converted(256, 256, QImage::Format_RGB32);
        std::memset(converted.bits(), 0, static_cast<size_t>(converted.sizeInBytes()));
        ConvertRgb565ToRgb32(all, QRect(3, 0, 253, 256), converted.bits() + 3 * 4,
                             converted.bytesPerLine());
        for (int y = 0; y < 256; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(converted.constScanLine(y));
            const auto* want = reinterpret_cast<const uint32_t*>(expected.constScanLine(y));
            for (int x = 0; x < 256; ++x) // left of the area: untouched
                ASSERT_EQ(row[x], x < 3 ? 0u : want[x]) << x << "," << y;
        }
        // At a display scale of 2 each pixel is written twice across into two rows; 253 pixels
        // leave a tail for every narrower kernel.
        std::vector<uint32_t> top(2 * 253), bottom(2 * 253);
        for (int y = 0; y < 256; ++y) {
            ConvertRgb565RowDoubled(all.constScanLine(y) + 3 * 2, top.data(), bottom.data(), 253);
            const auto* want = reinterpret_cast<const uint32_t*>(expected.constScanLine(y)) + 3;
            for (int x = 0; x < 2 * 253; ++x)
                ASSERT_TRUE(top[x] == want[x / 2] && bottom[x] == want[x / 2]) << x << "," << y;
        }
    }
    SetKernelSimd(widest);
}

// Packing rules of every depth, on a two-row buffer whose pitch is wider than a row.
TEST(PixelPackingTest, EachDepthWritesOnlyItsOwnBits) {
    struct TRow {
        int BitCount, X;
        uint32_t Value;
        std::vector<uint8_t> Row1; // the written row's first bytes afterwards
    };
    const TRow rows[] = {
        {1, 0, 1, {0x80}},
        {1, 9, 1, {0x00, 0x40}},
        {4, 0, 0xB, {0xB0}},
        {4, 3, 0x1C, {0x00, 0x0C}},
        {8, 1, 0x1AB, {0x00, 0xAB}},
        {16, 1, 0x12345, {0, 0, 0x45, 0x23}},
        {24, 1, 0x12345678, {0, 0, 0, 0x78, 0x56, 0x34}},
        {32, 1, 0x12345678, {0, 0, 0, 0, 0x78, 0x56, 0x34, 0x12}},
    };
    for (const TRow& r : rows) {
        SCOPED_TRACE(r.BitCount);
        constexpr int Pitch = 16; // rows of 12 pixels at 1 and 4 bits, 3 pixels else
        std::vector<uint8_t> buffer(2 * Pitch, 0);
        const TLockedSurface s{buffer.data(), Pitch, r.BitCount, r.BitCount < 8 ? 12 : 3, 2};
        StorePixel(s, r.X, 1, r.Value);
        std::vector<uint8_t> expected(2 * Pitch, 0);
        std::copy(r.Row1.begin(), r.Row1.end(), expected.begin() + Pitch);
        EXPECT_EQ(buffer, expected);
        const uint32_t mask = r.BitCount == 32 ? 0xFFFFFFFFu : (1u << r.BitCount) - 1u;
        EXPECT_EQ(LoadPixel(s, r.X, 1), r.Value & mask);
        // Clearing one pixel keeps its neighbours; outside the surface nothing is touched.
        std::fill(buffer.begin(), buffer.end(), 0xFF);
        StorePixel(s, r.X, 1, 0);
        StorePixel(s, s.Width, 0, 0);
        StorePixel(s, 0, 2, 0);
        EXPECT_EQ(LoadPixel(s, r.X, 1), 0u);
        EXPECT_EQ(LoadPixel(s, r.X == 0 ? 1 : 0, 1), mask);
        EXPECT_EQ(LoadPixel(s, s.Width - 1, 0), mask);
        EXPECT_EQ(LoadPixel(s, s.Width, 0), 0u);
        EXPECT_EQ(buffer[Pitch - 1], 0xFF);
    }
}

} // namespace
