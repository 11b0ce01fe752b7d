// The field and the screen view in and out as pictures: the clipboard and drops on the window.
// Nothing here touches the map file: the field is saved when the window closes, as always.
#include "app/Main.h"

#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

#include "app/FieldImage.h"
#include "app/FieldPaste.h"
#include "terrain/TerrainState.h"
#include "toolkit/Application.h"
#include "util/Exceptions.h"
#include "util/Notices.h"
#include "views/MapView.h"

namespace {

const QString UriList = QStringLiteral("text/uri-list");
const char* const OnlyMovedText =
    "A picture dragged here is taken only as a copy; this one was offered only to be moved. "
    "Drag it again as a copy (in most file managers with Ctrl held).";

// The type a picture is asked for in, among those offered: an encoded picture (PNG first),
// else a file's address. Qt's own picture format is left out: the data of another program
// decodes in the worker, not on the main thread.
QString PictureTarget(const QStringList& formats) {
    if (formats.contains(QStringLiteral("image/png"))) return QStringLiteral("image/png");
    for (const QString& format : formats)
        if (format.startsWith(QLatin1String("image/"))) return format;
    return formats.contains(UriList) ? UriList : QString();
}

// The first local file of a URI list, or "".
QString LocalFile(const QByteArray& uriList) {
    for (const QByteArray& line : uriList.split('\n')) {
        const QByteArray uri = line.trimmed();
        if (uri.isEmpty() || uri.startsWith('#')) continue;
        if (const QUrl url(QString::fromUtf8(uri)); url.isLocalFile()) return url.toLocalFile();
    }
    return {};
}

} // namespace

void TMain::CopyField() {
    QGuiApplication::clipboard()->setImage(FieldToImage(Terrain::HeightArray));
}

void TMain::CopyScreen() {
    QGuiApplication::clipboard()->setImage(
        DXScreen->Presented().convertToFormat(QImage::Format_RGB32));
}

// Another program's clipboard is asked for off the loop; our own, and any clipboard where
// there is no X display, Qt has at hand.
void TMain::PasteField() {
    if (FPaste->Busy() || FFetch->Busy()) return;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard->ownsClipboard() && FFetch->Start(&PictureTarget)) return;
    PasteFromQt();
}

void TMain::PasteFromQt() {
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    if (mime == nullptr) return;
    if (const QString target = PictureTarget(mime->formats()); !target.isEmpty()) {
        TakeData(target, mime->data(target), true);
    } else if (mime->hasImage()) {
        FPaste->FromImage(qvariant_cast<QImage>(mime->imageData()));
    }
}

// Without a connection of its own the clipboard is not asked through Qt's, which would wait
// for a stopped owner with the loop stopped: the user is told instead.
void TMain::Fetched(const TSelectionFetch::TResult& result) {
    if (const char* problem = TSelectionFetch::Problem(result.Outcome)) throw Exception(problem);
    if (result.Outcome == TSelectionFetch::TOutcome::Data) {
        TakeData(result.Target, result.Bytes, true);
    } else if (result.Outcome == TSelectionFetch::TOutcome::Refused && result.Target != UriList) {
        throw Exception("The other program did not hand over the picture it offered");
    }
}

// A picture's data, or a file's address, becomes the field off the main thread, where the
// file is also opened. A pasted file that is missing or that Qt cannot read as a picture is a
// clipboard without one (quiet): nothing happens; a dropped one is reported.
void TMain::TakeData(const QString& target, const QByteArray& data, bool quiet) {
    if (FPaste->Busy()) return;
    if (target != UriList) {
        FPaste->FromBytes(data);
    } else if (const QString file = LocalFile(data); !file.isEmpty()) {
        FPaste->FromFile(file, quiet);
    }
}

// One step in the history; the map view shows the whole new field (also when it is the same).
void TMain::TakeField(const THeightArray& field) {
    FHistory.Commit(Terrain::HeightArray); // a stroke under way ends first
    Terrain::HeightArray = field;
    FHistory.Commit(Terrain::HeightArray, true);
    PaintWholeMap(DXMap, Terrain::HeightArray, Terrain::MapPixel);
}

// Decided from the types the drag offers: asking for its data here would wait for the other
// program while the drag goes on. A picture is taken as a copy: a source told "move" may
// delete the user's file after the drop. One that offers no copy is refused as it enters, with
// a notice in the window (a box would stop the drag).
void TMain::dragEnterEvent(QDragEnterEvent* event) {
    const QMimeData* mime = event->mimeData();
    if (PictureTarget(mime->formats()).isEmpty() && !mime->hasImage()) return;
    if (!event->possibleActions().testFlag(Qt::CopyAction)) {
        SayNotice(OnlyMovedText);
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

// Each move is answered anew, and Qt's answer would be the source's proposal again.
void TMain::dragMoveEvent(QDragMoveEvent* event) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

// The drop's data can only be had while Qt delivers it, and Qt waits for it: so one request,
// given up after Qt's five seconds, which it answers as empty data. The box shows once the
// drop is over, so the other program is not kept waiting for its end meanwhile.
void TMain::dropEvent(QDropEvent* event) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
    const QMimeData* mime = event->mimeData();
    if (FPaste->Busy()) return;
    if (const QString target = PictureTarget(mime->formats()); !target.isEmpty()) {
        QElapsedTimer waited;
        waited.start();
        const QByteArray data = mime->data(target);
        if (data.isEmpty() && waited.elapsed() >= TSelectionFetch::NoProgressMs - 500) {
            QMetaObject::invokeMethod(
                this, Guarded([] { throw Exception(TSelectionFetch::NoAnswerText); }),
                Qt::QueuedConnection);
            return;
        }
        TakeData(target, data, false);
    } else if (mime->hasImage()) {
        FPaste->FromImage(qvariant_cast<QImage>(mime->imageData()));
    }
}
