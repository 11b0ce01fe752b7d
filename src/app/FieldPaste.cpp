// The worker that turns a picture into a field.
#include "app/FieldPaste.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <memory>
#include <new>

#include <unistd.h>

#include "app/FieldImage.h"
#include "toolkit/Worker.h"
#include "util/RegularFile.h"

namespace {

// The open file, or why there is none ("" when quiet passes it over).
QString OpenFile(const QString& path, bool quiet, QFile& file) {
    const QString name = QFileInfo(path).fileName();
    const TOpenedFile opened = OpenRegularFile(QFile::encodeName(path).toStdString());
    switch (opened.Kind) {
    case TOpenedFile::Regular:
        if (file.open(opened.Fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) return {};
        close(opened.Fd);
        return quiet ? QString() : QStringLiteral("%1 cannot be read").arg(name);
    case TOpenedFile::Folder:
        return QStringLiteral("%1 is a folder").arg(name.isEmpty() ? path : name);
    case TOpenedFile::Other:
        return QStringLiteral("%1 is not a regular file").arg(name);
    case TOpenedFile::Missing:
        return quiet ? QString() : QStringLiteral("%1 was not found").arg(name);
    case TOpenedFile::Unreadable:
        return quiet ? QString()
                     : QStringLiteral("%1 cannot be read (%2)")
                           .arg(name, QString::fromLocal8Bit(std::strerror(opened.Error)));
    }
    return {};
}

} // namespace

// A decode cannot be interrupted: at the end it is left to run, and the process ends without
// waiting for it.
TFieldPaste::TFieldPaste(QObject* parent, TDone done, TFailed failed)
    : QObject(parent), FDone(std::move(done)), FFailed(std::move(failed)),
      FWorker(new TWorker(this, 0)) {}

bool TFieldPaste::Busy() const {
    return FWorker->Busy();
}

bool TFieldPaste::FromBytes(QByteArray bytes) {
    return Run([bytes = std::move(bytes)](TRead& read) {
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        read.Made = ReadField(buffer, QStringLiteral("The pasted picture"), bytes.size(),
                              read.Field, read.Error) == TPictureRead::Field;
    });
}

bool TFieldPaste::FromFile(QString path, bool quiet) {
    return Run([path = std::move(path), quiet](TRead& read) {
        QFile file;
        read.Error = OpenFile(path, quiet, file);
        if (!file.isOpen()) return;
        const TPictureRead made =
            ReadField(file, QFileInfo(path).fileName(), 0, read.Field, read.Error);
        read.Made = made == TPictureRead::Field;
        if (made == TPictureRead::NotPicture && quiet) read.Error.clear();
    });
}

bool TFieldPaste::FromImage(QImage image) {
    return Run([image = std::move(image)](TRead& read) mutable {
        read.Made = ImageToField(std::move(image), read.Field);
        if (!read.Made)
            read.Error = QStringLiteral("The picture could not be taken in: there "
                                        "is not enough memory");
    });
}

bool TFieldPaste::Run(std::function<void(TRead& read)> read) {
    // The picture lives only in the worker: its memory is gone when the job ends.
    return FWorker->Start([this, read = std::move(read)](const TWorker::TCancel&) {
        auto result = std::make_shared<TRead>();
        try {
            read(*result);
        } catch (const std::bad_alloc&) {
            result->Made = false;
            result->Error = QStringLiteral("The picture could not be taken in: there is not "
                                           "enough memory");
        }
        // Run on the main thread by the worker, a child of this object.
        return std::function<void()>([this, result] {
            if (result->Made) {
                FDone(result->Field);
            } else if (!result->Error.isEmpty()) {
                FFailed(result->Error.toStdString());
            }
        });
    });
}
