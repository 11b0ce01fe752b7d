// Stand-ins for the platform in tests, never linked into the program: a scripted mouse, a
// presenter that records what it is asked to show, and a canned clipboard.
#pragma once

#include <QRect>

#include <memory>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "toolkit/SelectionFetch.h"

// What the views asked of their presenters, in order.
struct TPresentLog {
    int Made = 0;     // presenters made: one per view
    int Released = 0; // finalisations
    std::vector<QRect> Shown;
    std::vector<QRect> Exposed;
};

class TRecordingPresenter : public TPresenter {
  public:
    explicit TRecordingPresenter(TPresentLog& log) : FLog(log) { ++FLog.Made; }
    bool PaintsItself() const override { return false; }
    void Show(const QImage&, const QRect& area) override { FLog.Shown.push_back(area); }
    void Expose(const QImage*, const QRect& area, const QColor&) override {
        FLog.Exposed.push_back(area);
    }
    void Release() override { ++FLog.Released; }

  private:
    TPresentLog& FLog;
};

// The current platform while it lives: the mouse reads as Mouse says, the screen maps to every
// widget's pixels as (x, y) - Origin, and views present to Log.
class TScriptedPlatform : public TPlatform {
  public:
    TScriptedPlatform() { MakeCurrent(); }

    TMouseSample Mouse{};
    QPoint Origin;
    TPresentLog Log;

    TMouseSample SampleMouse(const QWidget*) override { return Mouse; }
    TMouseSample WithShortPresses(TMouseSample sample, const QWidget*) override { return sample; }
    QPoint ScreenToClient(const QWidget*, int32_t x, int32_t y) override {
        return QPoint(x, y) - Origin;
    }
    std::unique_ptr<TPresenter> MakePresenter(QWidget*) override {
        return std::make_unique<TRecordingPresenter>(Log);
    }
};

// Every fetch of another program's clipboard gives Result while this lives.
class TCannedClipboard {
  public:
    explicit TCannedClipboard(TSelectionFetch::TResult result) {
        TSelectionFetch::SetSource(
            [result = std::move(result)](const TWorker::TCancel&,
                                         const TSelectionFetch::TChoose&) { return result; });
    }
    ~TCannedClipboard() { TSelectionFetch::SetSource(nullptr); }
    TCannedClipboard(const TCannedClipboard&) = delete;
    TCannedClipboard& operator=(const TCannedClipboard&) = delete;
};
