// E2eOracle: the pictures and brush results the end-to-end tests expect, from the reference
// arithmetic, with the colour ramps converted by Qt as the program's 16-bit surfaces do.
#include <QFontMetrics>
#include <QColor>
#include <QDrag>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QMimeData>
#include <QPainter>
#include <QRasterWindow>
#include <QUrl>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <xcb/xcb.h>

#include "support/ref/Reference.h"
#include "terrain/FieldNoise.h"
#include "terrain/FieldRandom.h"
#include "terrain/Landscape.h"
#include "terrain/LevelOut.h"
#include "util/Fnc.h"

namespace {

int Usage() {
    std::fputs("usage:\n"
               "  E2eOracle ramps\n"
               "  E2eOracle screen MAP ANGLE CAMERAZ [OUT]   (320 x 240 RGB565, little-endian, row-major)\n"
               "  E2eOracle brush MAP OUT CX CY RADIUS DIVISOR MODE SHAPE K\n"
               "  E2eOracle match BEFORE AFTER CX CY RADIUS DIVISOR MODE SHAPE KMAX\n"
               "  E2eOracle text TEXT   (the text in the default font, dark on light: PGM)\n"
               "  E2eOracle gray IMAGE OUT   (the field Qt makes of the image, in file order)\n"
               "  E2eOracle generate SEED K OUT   (the field of the k-th tool click with --seed SEED)\n"
               "  E2eOracle noise MAP OUT DAMPING SEED K   (the noise of the k-th tool click)\n"
               "  E2eOracle level MAP OUT   (one pass of the 3 x 3 mean)\n"
               "  E2eOracle dragsource FILE [hung|copymove|move]   (a window; a press on it drags\n"
               "      the file's URL, offering a copy; hung: the data never comes; copymove: a\n"
               "      copy or a move, move proposed; move: a move only. Prints the answer:\n"
               "      \"dropped: copy|move|ignore\")\n"
               "  E2eOracle owner refuse|endless|trickle|targets N   (a clipboard owner that\n"
               "      misbehaves; says \"ready\" on standard output once it owns the clipboard)\n",
               stderr);
    return 2;
}

bool ReadMap(const char* path, THeightArray& field) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() != field.size()) {
        std::fprintf(stderr, "%s: %zu bytes, want %zu\n", path, bytes.size(), field.size());
        return false;
    }
    for (size_t i = 0; i < field.size(); ++i) field[i] = static_cast<uint8_t>(bytes[i]);
    return true;
}

bool WriteBytes(const char* path, const void* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
}

// The 16-bit value that painting one opaque pixel of the colour onto an RGB16 image leaves.
uint16_t Rgb16Of(int r, int g, int b) {
    QImage source(1, 1, QImage::Format_RGB32);
    source.setPixel(0, 0, qRgb(r, g, b));
    QImage target(1, 1, QImage::Format_RGB16);
    target.fill(0);
    {
        QPainter painter(&target);
        painter.drawImage(0, 0, source);
    }
    return *reinterpret_cast<const uint16_t*>(target.constScanLine(0));
}

void MakeRamps(TMapPixelTable& mapPixel, TShadePixelTable& shadePixel) {
    for (int i = 0; i < 256; ++i) {
        mapPixel[i] = Rgb16Of(i, i, 0);
        shadePixel[i] = Rgb16Of(i, i, (255 - i) / 3);
    }
}

struct TBrushJob {
    int32_t Cx, Cy;
    TBrushParams Params;
    TBrushProfile Profile;
    TSqrtTable Sqrt;
    TMapPixelTable MapPixel;
    TShadePixelTable ShadePixel;
    Ref::TMemorySurface Surface;
};

std::unique_ptr<TBrushJob> MakeBrushJob(char** args) {
    auto job = std::make_unique<TBrushJob>();
    job->Cx = std::atoi(args[0]);
    job->Cy = std::atoi(args[1]);
    job->Params.Radius = std::atoi(args[2]);
    job->Params.Divisor = static_cast<uint8_t>(std::atoi(args[3]));
    job->Params.Mode = static_cast<uint8_t>(std::atoi(args[4]));
    job->Params.Rows = 240;
    job->Profile = Ref::Profile(std::atoi(args[5]));
    Ref::MakeSqrtTable(job->Sqrt);
    MakeRamps(job->MapPixel, job->ShadePixel);
    return job;
}

void Apply(TBrushJob& job, THeightArray& field) {
    Ref::ApplyBrush(field, job.Surface.Lock, job.Cx, job.Cy, job.Params, job.Profile, job.Sqrt,
                    job.MapPixel);
}

int Ramps() {
    TMapPixelTable mapPixel{};
    TShadePixelTable shadePixel{};
    MakeRamps(mapPixel, shadePixel);
    for (int i = 0; i < 256; ++i) std::printf("%u %u\n", mapPixel[i], shadePixel[i] & 0xFFFFu);
    return 0;
}

int Screen(char** args) {
    auto field = std::make_unique<THeightArray>();
    if (!ReadMap(args[0], *field)) return 2;
    TCamera camera;
    camera.CamRot = static_cast<uint16_t>(std::atoi(args[1]));
    camera.CameraZ = std::atoi(args[2]);
    camera.HorizonOffset = HorizonOffsetFor(camera.CameraZ, camera.CameraY);
    TTrigTable sinTable{}, cosTable{};
    MakeTrigTables(sinTable, cosTable);
    TMapPixelTable mapPixel{};
    TShadePixelTable shadePixel{};
    MakeRamps(mapPixel, shadePixel);
    const TRect clip{0, 0, 319, 239};
    auto proj = std::make_unique<TProjHeightArray>();
    Ref::ProjectField(*field, camera, sinTable, cosTable, clip, *proj);
    Ref::TMemorySurface surface; // zero: the background MapPixel[0] is black
    Ref::DrawBars(*proj, surface.Lock, mapPixel, shadePixel, clip);
    std::vector<uint8_t> out;
    out.reserve(320 * 240 * 2);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            const uint16_t v = surface.Pixel(x, y);
            out.push_back(static_cast<uint8_t>(v & 0xFF));
            out.push_back(static_cast<uint8_t>(v >> 8));
        }
    if (args[3] != nullptr) return WriteBytes(args[3], out.data(), out.size()) ? 0 : 2;
    return std::fwrite(out.data(), 1, out.size(), stdout) == out.size() ? 0 : 2;
}

int Brush(char** args) {
    auto field = std::make_unique<THeightArray>();
    if (!ReadMap(args[0], *field)) return 2;
    auto job = MakeBrushJob(args + 2);
    const int k = std::atoi(args[8]);
    for (int i = 0; i < k; ++i) Apply(*job, *field);
    return WriteBytes(args[1], field->data(), field->size()) ? 0 : 2;
}

// Prints the least k that explains the change and exits 0; otherwise prints the nearest miss
// and exits 1.
int Match(char** args) {
    auto field = std::make_unique<THeightArray>();
    auto after = std::make_unique<THeightArray>();
    if (!ReadMap(args[0], *field) || !ReadMap(args[1], *after)) return 2;
    auto job = MakeBrushJob(args + 2);
    const int kMax = std::atoi(args[8]);
    size_t bestDiff = SIZE_MAX;
    int bestK = 0;
    for (int k = 1; k <= kMax; ++k) {
        Apply(*job, *field);
        size_t diff = 0;
        for (size_t i = 0; i < field->size(); ++i) diff += (*field)[i] != (*after)[i];
        if (diff == 0) {
            // Later k that give the same field cannot be told apart from this one.
            auto next = std::make_unique<THeightArray>(*field);
            Apply(*job, *next);
            std::printf("%d%s\n", k, *next == *field ? " saturated" : "");
            return 0;
        }
        if (diff < bestDiff) {
            bestDiff = diff;
            bestK = k;
        }
    }
    std::printf("none: nearest k %d differs in %zu cells\n", bestK, bestDiff);
    return 1;
}

// Draws each text as a message box on the display would show it: the application's default
// font, dark on light grey. Writes a binary PGM of each text's cell to standard output.
int Text(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    for (int i = 2; i < argc; ++i) {
        const QString text = QString::fromUtf8(argv[i]);
        const QFontMetrics metrics(QGuiApplication::font());
        const QRect cell = metrics.boundingRect(text).adjusted(-4, -4, 4, 4);
        QImage image(cell.size(), QImage::Format_RGB32);
        image.fill(QColor(239, 239, 239));
        {
            QPainter painter(&image);
            painter.setFont(QGuiApplication::font());
            painter.setPen(Qt::black);
            painter.drawText(-cell.left(), -cell.top(), text);
        }
        std::printf("P5\n%d %d\n255\n", image.width(), image.height());
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) std::putchar(qGray(image.pixel(x, y)));
    }
    return 0;
}

// The field Qt makes of an image: grayscale, smoothly scaled to 320 x 240 whatever the aspect,
// grayscale again; column by column as in Map.Dat.
int Gray(char** args) {
    QImageReader::setAllocationLimit(0); // the very large test picture
    QImage gray =
        QImage(QString::fromLocal8Bit(args[0])).convertToFormat(QImage::Format_Grayscale8);
    if (gray.isNull()) {
        std::fprintf(stderr, "%s: not readable\n", args[0]);
        return 2;
    }
    gray = gray.scaled(320, 240, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
               .convertToFormat(QImage::Format_Grayscale8);
    std::vector<uint8_t> out;
    out.reserve(320 * 240);
    for (int x = 0; x < 320; ++x)
        for (int y = 0; y < 240; ++y) out.push_back(gray.constScanLine(y)[x]);
    return WriteBytes(args[1], out.data(), out.size()) ? 0 : 2;
}

// The panel's tools, as the program runs them: the k-th click of 잡음 or 자동생성 draws from
// ClickSeed(SEED, k).
int Tool(const std::string& command, char** args) {
    auto field = std::make_unique<THeightArray>();
    const auto number = [](const char* text) { return static_cast<uint32_t>(std::stoul(text)); };
    if (command == "generate") {
        GenerateLandscape(*field, ClickSeed(number(args[0]), number(args[1])));
        return WriteBytes(args[2], field->data(), field->size()) ? 0 : 2;
    }
    if (!ReadMap(args[0], *field)) return 2;
    if (command == "level") {
        LevelOut(*field);
    } else {
        AddNoise(*field, static_cast<uint8_t>(number(args[2])),
                 ClickSeed(number(args[3]), number(args[4])));
    }
    return WriteBytes(args[1], field->data(), field->size()) ? 0 : 2;
}

// Data that a hung program offers: asked for, it never comes.
struct THungMime : QMimeData {
    QVariant retrieveData(const QString&, QMetaType) const override {
        std::this_thread::sleep_for(std::chrono::seconds(60));
        return {};
    }
};

// Another X client to drag a file from, as a file manager would: a press starts the drag.
struct TDragSource : QRasterWindow {
    QUrl Url;
    QByteArray Mode;
    void mousePressEvent(QMouseEvent*) override {
        QMimeData* mime = Mode == "hung" ? new THungMime : new QMimeData;
        mime->setUrls({Url});
        auto* drag = new QDrag(this);
        drag->setMimeData(mime);
        // A file manager proposes a move where the user may have meant one.
        const Qt::DropAction done =
            Mode == "copymove" ? drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction)
            : Mode == "move"   ? drag->exec(Qt::MoveAction)
                               : drag->exec(Qt::CopyAction);
        std::printf("dropped: %s\n", done == Qt::CopyAction   ? "copy"
                                     : done == Qt::MoveAction ? "move"
                                                              : "ignore");
        std::fflush(stdout);
    }
};

int DragSource(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    TDragSource window;
    window.Url = QUrl::fromLocalFile(QString::fromLocal8Bit(argv[2]));
    window.Mode = argc == 4 ? QByteArray(argv[3]) : QByteArray();
    window.setTitle(QStringLiteral("dragsource"));
    window.setGeometry(1100, 850, 120, 120);
    window.show();
    return app.exec();
}


// A clipboard owner that misbehaves as a broken or hostile program might. refuse: offers
// image/png and refuses it when asked; endless: hands it over in parts that never end (1 MB
// each, as fast as they are taken); trickle: parts of one byte, one every 4 s; targets N: offers
// N types (a few atoms over and over).
int Owner(int argc, char** argv) {
    const std::string mode = argv[2];
    const long count = mode == "targets" && argc == 4 ? std::atol(argv[3]) : 2;
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c) != 0) return 2;
    xcb_screen_iterator_t screen = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&screen);
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen.data->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    const auto intern = [c](const char* name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t atom = reply != nullptr ? reply->atom : XCB_NONE;
        std::free(reply);
        return atom;
    };
    const xcb_atom_t clipboard = intern("CLIPBOARD"), targets = intern("TARGETS"),
                     incr = intern("INCR"), png = intern("image/png");
    xcb_set_selection_owner(c, window, clipboard, XCB_CURRENT_TIME);
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, clipboard), nullptr);
    const bool owned = owner != nullptr && owner->owner == window;
    std::free(owner);
    if (!owned) return 2;
    std::puts("ready");
    std::fflush(stdout);
    const auto notify = [c, clipboard](const xcb_selection_request_event_t& request,
                                       xcb_atom_t property) {
        xcb_selection_notify_event_t event{};
        event.response_type = XCB_SELECTION_NOTIFY;
        event.time = request.time;
        event.requestor = request.requestor;
        event.selection = clipboard;
        event.target = request.target;
        event.property = property;
        xcb_send_event(c, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&event));
    };
    xcb_window_t requestor = XCB_NONE; // the transfer in parts under way
    xcb_atom_t property = XCB_NONE;
    using TClock = std::chrono::steady_clock;
    bool partWanted = false;
    TClock::time_point partDue{};
    const std::vector<char> part(mode == "endless" ? 1 << 20 : 1, 'x');
    for (;;) {
        xcb_flush(c);
        pollfd fd = {xcb_get_file_descriptor(c), POLLIN, 0};
        poll(&fd, 1, partWanted && TClock::now() >= partDue ? 0 : 50);
        if (partWanted && TClock::now() >= partDue) {
            partWanted = false;
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, requestor, property, png, 8,
                                static_cast<uint32_t>(part.size()), part.data());
        }
        while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
            const int kind = e->response_type & 0x7f;
            if (kind == XCB_SELECTION_REQUEST) {
                const auto request = *reinterpret_cast<xcb_selection_request_event_t*>(e);
                const xcb_atom_t into =
                    request.property != XCB_NONE ? request.property : request.target;
                if (request.target == targets) {
                    const xcb_atom_t offered[] = {targets, png, XCB_ATOM_STRING, XCB_ATOM_INTEGER};
                    std::vector<xcb_atom_t> list(static_cast<size_t>(count));
                    for (size_t i = 0; i < list.size(); ++i) list[i] = offered[i % 4];
                    xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, into,
                                        XCB_ATOM_ATOM, 32, static_cast<uint32_t>(list.size()),
                                        list.data());
                    notify(request, into);
                } else if (request.target == png && mode != "refuse") {
                    requestor = request.requestor;
                    property = into;
                    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
                    xcb_change_window_attributes(c, requestor, XCB_CW_EVENT_MASK, &events);
                    const uint32_t size = 65536; // a lower bound only, as INCR allows
                    xcb_change_property(c, XCB_PROP_MODE_REPLACE, requestor, property, incr, 32, 1,
                                        &size);
                    notify(request, into);
                } else {
                    notify(request, XCB_NONE);
                }
            } else if (kind == XCB_PROPERTY_NOTIFY) {
                const auto* p = reinterpret_cast<xcb_property_notify_event_t*>(e);
                if (p->window == requestor && p->atom == property &&
                    p->state == XCB_PROPERTY_DELETE) {
                    partWanted = true;
                    partDue = TClock::now() + std::chrono::seconds(mode == "trickle" ? 4 : 0);
                }
            }
            std::free(e);
        }
        if (xcb_connection_has_error(c) != 0) return 0;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    if (command == "ramps" && argc == 2) return Ramps();
    if (command == "screen" && (argc == 5 || argc == 6)) return Screen(argv + 2);
    if (command == "brush" && argc == 11) return Brush(argv + 2);
    if (command == "match" && argc == 11) return Match(argv + 2);
    if (command == "text" && argc >= 3) return Text(argc, argv);
    if (command == "gray" && argc == 4) return Gray(argv + 2);
    if ((command == "generate" && argc == 5) || (command == "level" && argc == 4) ||
        (command == "noise" && argc == 7))
        return Tool(command, argv + 2);
    const auto dragMode = [&] {
        return argc == 3 || (argc == 4 && (std::string(argv[3]) == "hung" ||
                                           std::string(argv[3]) == "copymove" ||
                                           std::string(argv[3]) == "move"));
    };
    if (command == "dragsource" && dragMode())
        return DragSource(argc, argv);
    if (command == "owner" && (argc == 3 || (argc == 4 && argv[2] == std::string("targets"))))
        return Owner(argc, argv);
    return Usage();
}
