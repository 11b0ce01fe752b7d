// The worker that turns a picture into a field.
#include "app/FieldPaste.h"

#include <QThread>

#include "app/FieldImage.h"

TFieldPaste::TFieldPaste(QObject* parent, TDone done, TFailed failed)
    : QObject(parent), FDone(std::move(done)), FFailed(std::move(failed)) {}

TFieldPaste::~TFieldPaste() {
    if (FWorker != nullptr) {
        FWorker->wait();
        delete FWorker;
    }
}

bool TFieldPaste::FromBytes(QByteArray bytes) {
    return Run([bytes = std::move(bytes)](QString& error) { return ReadImage(bytes, error); });
}

bool TFieldPaste::FromFile(QString path) {
    return Run([path = std::move(path)](QString& error) { return ReadImageFile(path, error); });
}

bool TFieldPaste::FromImage(QImage image) {
    return Run([image = std::move(image)](QString&) { return image; });
}

bool TFieldPaste::Run(std::function<QImage(QString& error)> read) {
    if (FWorker != nullptr) return false;
    FError.clear();
    // The picture lives only in the worker: its memory is gone when the worker ends.
    FWorker = QThread::create([this, read = std::move(read)] {
        QImage image = read(FError);
        if (!image.isNull()) ImageToField(std::move(image), FField);
    });
    // Emitted in the worker, handled here on the main thread.
    connect(FWorker, &QThread::finished, this, [this] { Finished(); });
    FWorker->start();
    return true;
}

void TFieldPaste::Finished() {
    FWorker->wait();
    delete FWorker;
    FWorker = nullptr;
    if (FError.isEmpty()) {
        FDone(FField);
    } else {
        FFailed(FError.toStdString());
    }
}
