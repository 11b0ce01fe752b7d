// Takes a field from an image (pasted or dropped) off the main thread, so a very large picture
// does not stop the frames: decoding, the grayscale and the scaling run in a worker, and the
// field it makes is handed back on the main thread.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QString>

#include <functional>
#include <string>

#include "terrain/HeightField.h"

class QThread;

class TFieldPaste : public QObject {
  public:
    using TDone = std::function<void(const THeightArray& field)>;
    using TFailed = std::function<void(const std::string& message)>;

    TFieldPaste(QObject* parent, TDone done, TFailed failed);
    ~TFieldPaste() override; // waits for a read under way

    // One at a time: each answers false (and does nothing) while another runs.
    bool FromBytes(QByteArray bytes);
    bool FromFile(QString path);
    bool FromImage(QImage image);
    bool Busy() const { return FWorker != nullptr; }

  private:
    bool Run(std::function<QImage(QString& error)> read);
    void Finished();

    TDone FDone;
    TFailed FFailed;
    QThread* FWorker = nullptr;
    THeightArray FField{};
    QString FError;
};
