// Takes a field from an image (pasted or dropped) off the main thread, so a very large picture
// or a file that another program named does not stop the frames: opening, decoding, the
// grayscale and the scaling run in a worker, and the field it makes is handed back on the main
// thread. A decode still running when the window goes is abandoned, not waited for.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QString>

#include <functional>
#include <string>

#include "terrain/HeightField.h"

class TWorker;

class TFieldPaste : public QObject {
  public:
    using TDone = std::function<void(const THeightArray& field)>;
    using TFailed = std::function<void(const std::string& message)>;

    TFieldPaste(QObject* parent, TDone done, TFailed failed);

    // One at a time: each answers false (and does nothing) while another runs.
    bool FromBytes(QByteArray bytes);
    // quiet: a file that is missing, unreadable or not a picture is passed over without a word
    // (a folder or another file that is not a regular one is always reported).
    bool FromFile(QString path, bool quiet);
    bool FromImage(QImage image);
    bool Busy() const;

  private:
    // What a read makes: a field, nothing, or a message.
    struct TRead {
        bool Made = false;
        THeightArray Field{};
        QString Error;
    };
    bool Run(std::function<void(TRead& read)> read);
    TDone FDone;
    TFailed FFailed;
    TWorker* FWorker;
};
