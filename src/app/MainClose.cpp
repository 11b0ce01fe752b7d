// Closing the window: the save, and when it fails with something to lose, the box with the ways
// out.
#include "app/Main.h"

#include <QCloseEvent>
#include <QFile>

#include "toolkit/Application.h"
#include "toolkit/ErrorBox.h"

// A failed save keeps the window open unless the user quits without saving or keeps the field
// elsewhere; every later close tries again.
void TMain::closeEvent(QCloseEvent* event) {
    try {
        FormClose();
    } catch (...) {
        event->ignore();
        if (OnCloseFailed) OnCloseFailed();
        if (!CloseAfterFailedSave(std::current_exception())) return;
    }
    event->accept();
    Application->Terminate();
}

bool TMain::CloseAfterFailedSave(std::exception_ptr error) {
    // A logout is not kept waiting for an answer: the plain box, and the window stays.
    if (FClosingForSignal) {
        Application->HandleException(error);
        return false;
    }
    const QString file = QFile::decodeName(QByteArray::fromStdString(FMapStore.FileName()));
    switch (Application->AskAfterFailedClose(error, file)) {
    case TCloseChoice::Quit:
        return true;
    case TCloseChoice::SaveAs:
        try {
            return SaveFieldAs();
        } catch (...) {
            Application->HandleException(std::current_exception());
            return false;
        }
    case TCloseChoice::Cancel:
        break;
    }
    return false;
}

void TMain::CloseForSignal() {
    struct TReset {
        bool& Flag;
        ~TReset() { Flag = false; }
    } reset{FClosingForSignal};
    FClosingForSignal = true;
    Close();
}
