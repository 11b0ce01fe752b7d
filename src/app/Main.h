// TMain, the program's one window: the screen view, the map view, the command panel below
// them and the frame timer. Its methods are the event handlers; DrawMap and DrawScreen draw.
#pragma once

#include <QObject>

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>

#include "present/DXDraw.h"
#include "present/DXTimer.h"
#include "terrain/EditHistory.h"
#include "terrain/MapStore.h"
#include "toolkit/Form.h"
#include "platform/Mouse.h"
#include "toolkit/SelectionFetch.h"
#include "toolkit/SpinEdit.h"
#include "util/Fnc.h"
#include "views/RevealMemo.h"
#include "views/core/DrawCores.h"

class QButtonGroup;
class QCheckBox;
class TCircleCursor;
class QCloseEvent;
class TFieldPaste;
class TVoxelRenderer;
class TWindowKeys;
class QGroupBox;
class QLabel;
class QPushButton;

class TMain : public TForm {
    Q_OBJECT
  public:
    // Builds the window's design, starts the views' and timer's components, then runs
    // FormCreate. The screen view draws with renderer, which outlives the window. appPath is
    // the folder that holds "Map.Dat" (the program's own by default); a mapFile given is used
    // instead of that one.
    explicit TMain(TVoxelRenderer& renderer, const std::string& appPath = GetAppPath(),
                   const std::string& mapFile = {});
    ~TMain() override;

    // Controls, named as in the window's design.
    QWidget* CommandPanel;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    TSpinEdit* BrushRangeMinSpin;
    TSpinEdit* CameraZSpin;
    TSpinEdit* HeightArrayDivSpin;
    TSpinEdit* CamRotSpin;
    QCheckBox* WaitCursorMoveCheck;
    QCheckBox* CamRotAutoCheck;
    QGroupBox* BrushModeBox;
    QButtonGroup* BrushModeItems;
    QPushButton* InitBtn;
    QPushButton* MeanBtn;
    QPushButton* NoiseBtn;
    QPushButton* AutoBtn;
    QPushButton* ExitBtn;
    TDXDraw* DXScreen;
    TDXDraw* DXMap;
    TDXTimer* DXTimer;
    // Notices the user must act on (the map cannot be saved, another copy's save kept aside),
    // in the panel's free room right of its buttons: hidden until there is one.
    QLabel* NoticeLabel;

    // The selected brush item, -1 when none.
    int BrushModeItemIndex() const;
    void SetBrushModeItemIndex(int index);

    // Handlers.
    void FormCreate();
    void FormClose();
    void BrushRangeMinSpinChange();
    void CameraZSpinChange();
    void HeightArrayDivSpinChange();
    void CamRotSpinChange();
    void WaitCursorMoveCheckClick();
    void CamRotAutoCheckClick();
    void BrushModeBoxClick();
    void InitBtnClick();
    void ExitBtnClick();
    // The three tools (--tools): 평준화 a 3 x 3 mean, 잡음 noise divided by 변화 억제,
    // 자동생성 a new landscape; each one step that replaces the whole field.
    void MeanBtnClick();
    void NoiseBtnClick();
    void AutoBtnClick();
    // Enables the tools' buttons with their handlers and tooltips; seed: the seed of 잡음 and
    // 자동생성, so the k-th click gives the same field in every run (none: the clock's).
    void EnableTools(std::optional<uint32_t> seed);
    void DXScreenInitialize(QObject* sender);
    void DXMapInitialize(QObject* sender);
    void DXTimerTimer(QObject* sender, int32_t lagCount);
    // Ctrl+Z and Ctrl+Shift+Z / Ctrl+Y: the last stroke or reset undone, the next one redone.
    void UndoEdit();
    void RedoEdit();
    // Ctrl+S: the close's save without closing.
    void SaveField();
    // Ctrl+Shift+S: the field saved to a file the user chooses, the map file from then on;
    // false when the user chose none.
    bool SaveFieldAs();
    // Where Save As asks for the file ("" when the user cancels; replaceable for tests).
    std::function<std::string()> AskSaveFileName = [this] { return AskMapFileName(); };
    // Whether Save As may replace the map already in that file (replaceable for tests).
    std::function<bool(const std::string&)> AskReplaceMap = [this](const std::string& name) {
        return AskReplaceMapBox(name);
    };
    // Ctrl+C: the field on the clipboard as a grayscale picture; Ctrl+V: the field from the
    // clipboard's picture (one step); Ctrl+Shift+C: the screen view as shown.
    void CopyField();
    void PasteField();
    void CopyScreen();
    // What the clipboard's owner handed over (a fetch ended), as a paste.
    void Fetched(const TSelectionFetch::TResult& result);

    // The cores DrawScreen and DrawMap call: the renderer's passes and the brush (replaceable
    // for benchmarks).
    TDrawCores Cores;

    // Where the tick samples the global mouse state (replaceable for tests).
    std::function<TMouseSample()> MouseSampler = [this] {
        return WithShortPresses(SampleMouse(this), this);
    };

    // What a save at exit did: the field written, nothing to write (the file already holds it,
    // or another copy's newer map stands), or a failure (Code: the I/O error code).
    struct TExitSave {
        enum { Written, Unchanged, Failed } Outcome;
        int Code;
        std::string Message;
    };
    // The close's save without the window: for a process that ends without a close (a lost
    // display). Plain file calls only; never throws.
    TExitSave SaveForExit() noexcept;
    // Called when a close's save failed, before its box shows.
    std::function<void()> OnCloseFailed;
    // The close a signal asks for (a shutdown, a logout): as 끝내기, but a failed save shows the
    // plain error box, and the window stays.
    void CloseForSignal();
    // The map file the close saves to.
    const std::string& MapFile() const { return FMapStore.FileName(); }

    // One brush stroke at map pixel (cx, cy) and one frame of the screen view.
    void DrawMap(int32_t cx, int32_t cy);
    void DrawScreen();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(class QDragEnterEvent* event) override;
    void dragMoveEvent(class QDragMoveEvent* event) override;
    void dropEvent(class QDropEvent* event) override;

  private:
    void ShowNotices();
    void CreateDesign();
    void ConnectHandlers();
    std::string FAppPath;
    std::string FMapFile;
    TMapStore FMapStore; // what this copy last loaded or saved; when a close writes
    TEditHistory FHistory; // the strokes and resets since the load
    TRevealMemo FReveal;   // the last reveal under the cursor, left out while nothing changes
    TWindowKeys* FKeys = nullptr;
    TFieldPaste* FPaste = nullptr;
    TCircleCursor* FBrushCursor = nullptr; // the brush's reach, over the map view
    TSelectionFetch* FFetch = nullptr; // the clipboard of another program, asked for off the loop
    void PasteFromQt();
    // A picture's data or a file's address (text/uri-list) becomes the field, off the main
    // thread; quiet: a file that is not a picture is ignored rather than reported.
    void TakeData(const QString& target, const QByteArray& data, bool quiet);
    void TakeField(const THeightArray& field);
    void ShowStep(const TEditHistory::TStep* step);
    uint32_t FToolSeed = 0;   // the seed of 잡음 and 자동생성
    uint32_t FToolClicks = 0; // clicks of either since start: each has a stream of its own
    std::string AskMapFileName();
    bool AskReplaceMapBox(const std::string& fileName);
    // After a close's save failed with error: true when the window may close (the user quit
    // without saving, or saved elsewhere).
    bool CloseAfterFailedSave(std::exception_ptr error);
    bool FClosingForSignal = false;
};

// The main window, while it exists.
extern TMain* Main;
