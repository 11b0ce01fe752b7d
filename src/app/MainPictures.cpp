// The field and the screen view in and out as pictures: the clipboard and drops on the window.
// Nothing here touches the map file: the field is saved when the window closes, as always.
#include "app/Main.h"

#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QImageReader>
#include <QMimeData>
#include <QUrl>

#include "app/FieldImage.h"
#include "app/FieldPaste.h"
#include "terrain/TerrainState.h"

namespace {

// The first local file a drag carries, or "".
QString LocalFile(const QMimeData* mime) {
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile()) return url.toLocalFile();
    return {};
}

// An encoded picture format the data offers (PNG first), or "". Qt's own picture format is
// left out: the data of another program decodes in the worker, not on the main thread.
QString PictureFormat(const QMimeData* mime) {
    const QStringList formats = mime->formats();
    if (formats.contains(QStringLiteral("image/png"))) return QStringLiteral("image/png");
    for (const QString& format : formats)
        if (format.startsWith(QLatin1String("image/"))) return format;
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

// A copied file that Qt cannot read as a picture is a clipboard without one: nothing happens,
// silently (its header alone is read here).
void TMain::PasteField() {
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    if (mime == nullptr) return;
    if (const QString file = LocalFile(mime);
        !file.isEmpty() && QImageReader::imageFormat(file).isEmpty())
        return;
    TakePicture(mime);
}

// A clipboard or drop without a picture does nothing; nor does one while a picture is read.
void TMain::TakePicture(const QMimeData* mime) {
    if (mime == nullptr || FPaste->Busy()) return;
    if (const QString file = LocalFile(mime); !file.isEmpty()) {
        FPaste->FromFile(file);
    } else if (const QString format = PictureFormat(mime); !format.isEmpty()) {
        FPaste->FromBytes(mime->data(format));
    } else if (mime->hasImage()) {
        FPaste->FromImage(qvariant_cast<QImage>(mime->imageData()));
    }
}

// One step in the history, repainted on the map view as an undo would be.
void TMain::TakeField(const THeightArray& field) {
    FHistory.Commit(Terrain::HeightArray); // a stroke under way ends first
    Terrain::HeightArray = field;
    ShowStep(FHistory.Commit(Terrain::HeightArray));
}

void TMain::dragEnterEvent(QDragEnterEvent* event) {
    const QMimeData* mime = event->mimeData();
    if (!LocalFile(mime).isEmpty() || !PictureFormat(mime).isEmpty() || mime->hasImage())
        event->acceptProposedAction();
}

void TMain::dropEvent(QDropEvent* event) {
    TakePicture(event->mimeData());
    event->acceptProposedAction();
}
