// The main window's life: creation, start-up (FormCreate), the panel's handlers, and closing.
#include "app/Main.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>

#include <cstdio>

#include <unistd.h>

#include "app/Parameters.h"
#include "terrain/MapFile.h"
#include "terrain/TerrainState.h"
#include "toolkit/Application.h"
#include "util/Exceptions.h"
#include "util/Notices.h"
#include "views/MapView.h"

TMain* Main = nullptr;

namespace {

bool FolderWritable(const QString& folder) {
    return !folder.isEmpty() && access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
}

} // namespace

TMain::TMain(TVoxelRenderer& renderer, const std::string& appPath, const std::string& mapFile)
    : Cores(RendererCores(renderer)), FAppPath(appPath), FMapFile(mapFile) {
    Main = this;
    CreateDesign();
    ConnectHandlers();
    // End of reading the design: the views take their stored size, the timer starts ticking.
    DXScreen->Loaded();
    DXMap->Loaded();
    DXTimer->Loaded();
    // An error here is shown and creation goes on: the window still opens.
    try {
        FormCreate();
    } catch (...) {
        Application->HandleException(std::current_exception());
    }
}

TMain::~TMain() {
    if (Main == this) Main = nullptr;
}

// Newest first; a long path may break after any of its slashes.
void TMain::ShowNotices() {
    QString text = NoticeLabel->text();
    for (const std::string& notice : TakeNotices()) {
        const QString shown = QString::fromStdString(notice).replace(
            QLatin1Char('/'), QStringLiteral("/\u200B"));
        text = text.isEmpty() ? shown : shown + QStringLiteral("\n\n") + text;
    }
    NoticeLabel->setText(text);
    NoticeLabel->show();
}

void TMain::FormCreate() {
    using namespace MainState;
    // The views are not initialised yet: their size changes only set the stored surface size.
    DXMap->SetViewSize(320, 240);
    DXScreen->SetViewSize(320, 240);
    // Screen view left, map view right, 16-pixel margins, the panel spanning both below.
    DXMap->move(2 * DXScreen->x() + DXScreen->width(), DXMap->y());
    const int clientWidth = DXScreen->x() + DXMap->x() + DXMap->width();
    CommandPanel->move(CommandPanel->x(), 2 * DXScreen->y() + DXScreen->height());
    CommandPanel->resize(DXMap->x() + DXMap->width() - DXScreen->x(), CommandPanel->height());
    const int clientHeight = CommandPanel->y() + CommandPanel->height() + DXScreen->y();
    SetClientSize(clientWidth, clientHeight);

    BrushRangeMin = BrushRangeMinSpin->Value();
    MapRect = {0, 0, 320, 240};
    ClipRect = {0, 0, 319, 239};
    HeightArrayDiv = static_cast<uint8_t>(HeightArrayDivSpin->Value());
    MapFileName = FMapFile.empty() ? FAppPath + "Map.Dat" : FMapFile;
    CameraX = 160;
    CameraY = 480;
    CameraZ = 240;
    CameraZSpin->SetValue(240);
    CameraZSpinChange();

    // A failed load is shown, but the field stays all zero and the tables and brush are still
    // built, so the program is fully usable.
    std::exception_ptr loadError;
    FMapStore.SetFileName(MapFileName);
    FMapStore.SetNamedByUser(!FMapFile.empty());
    try {
        if (FMapStore.Load(Terrain::HeightArray) == TLoadResult::Reset)
            ResetHeightArray(DXMap, Terrain::HeightArray, Terrain::MapPixel);
    } catch (...) {
        loadError = std::current_exception();
    }
    MakeSqrtTable(Terrain::SqrtTable);
    MakeTrigTables(Terrain::SinTable, Terrain::CosTable);
    BrushModeBoxClick();
    FHistory.Start(Terrain::HeightArray); // the start-up reset is no step
    if (loadError) std::rethrow_exception(loadError);
}

// Writes only when the field differs from the file (the store decides); the file it replaces
// is kept as .bak, and one that was never read in as .unread. A save that fails with nothing
// changed since the load or the last save still lets the window close: nothing is lost.
void TMain::FormClose() {
    TMapStore::TCloseSave outcome;
    const TIoResult r = FMapStore.TrySaveOnClose(Terrain::HeightArray, outcome);
    if (r == 0) return;
    if (FMapStore.Changed(Terrain::HeightArray)) RaiseIoResultFor(r, FMapStore.FileName());
    std::fprintf(stderr,
                 "voxel: %s could not be saved (%s); nothing had changed, so nothing is lost.\n",
                 FMapStore.FileName().c_str(), IoFailureLine(r, FMapStore.FileName()).c_str());
}

// The same save, asked for: it also makes a missing map the user named. A failure is shown by
// the key's handler and the window stays.
void TMain::SaveField() { FMapStore.SaveOnClose(Terrain::HeightArray, true); }

// The file is asked for in the toolkit's dialog; once saved there, it is the map file. A file
// that holds something else (a picture, say) is refused before any question, as on the command
// line; replacing a map is asked here, so that refusal comes first.
bool TMain::SaveFieldAs() {
    const std::string chosen = AskSaveFileName ? AskSaveFileName() : std::string();
    if (chosen.empty()) return false;
    if (IsOtherThanAMap(chosen))
        throw Exception(chosen + " is not a map of 76,800 bytes; choose another file");
    TFileStamp there;
    if (StampFile(chosen, there) == 0 && there.Exists && chosen != FMapStore.FileName() &&
        !(AskReplaceMap && AskReplaceMap(chosen)))
        return false;
    FMapStore.SaveAs(chosen, Terrain::HeightArray);
    MainState::MapFileName = chosen;
    return true;
}

// The toolkit's own dialog, not a native one: only it adds ".dat" to a name typed without a
// suffix and lets its own overwrite question be turned off. It starts at the map file; where
// that folder takes no new file (missing, or not the user's to write), in the home folder under
// the same name, so the first answer can be saved.
std::string TMain::AskMapFileName() {
    QString start = QFile::decodeName(QByteArray::fromStdString(FMapStore.FileName()));
    const QFileInfo map(start);
    if (!FolderWritable(map.absolutePath())) {
        for (const QString& folder : {QDir::homePath(), QDir::tempPath()}) {
            if (FolderWritable(folder)) {
                start = QDir(folder).filePath(map.fileName());
                break;
            }
        }
    }
    QFileDialog dialog(this, QStringLiteral("Save the map as"), start,
                       QStringLiteral("Maps (*.dat *.Dat *.DAT);;All files (*)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setDefaultSuffix(QStringLiteral("dat"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return QFile::encodeName(dialog.selectedFiles().constFirst()).toStdString();
}

bool TMain::AskReplaceMapBox(const std::string& fileName) {
    const QString name = QFile::decodeName(QByteArray::fromStdString(fileName));
    return QMessageBox::question(this, QStringLiteral("Replace the map?"),
                                 name + QStringLiteral(" already exists.\nReplace it? The map "
                                                       "it holds is kept as ") +
                                     name + QStringLiteral(".bak."),
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

TMain::TExitSave TMain::SaveForExit() noexcept {
    TMapStore::TCloseSave outcome;
    if (const TIoResult r = FMapStore.TrySaveOnClose(Terrain::HeightArray, outcome))
        return {TExitSave::Failed, IoResultCode(r), IoResultMessage(r)};
    return {outcome == TMapStore::TCloseSave::Written ? TExitSave::Written : TExitSave::Unchanged,
            0, {}};
}

void TMain::BrushRangeMinSpinChange() { MainState::BrushRangeMin = BrushRangeMinSpin->Value(); }

void TMain::CameraZSpinChange() {
    MainState::CameraZ = CameraZSpin->Value();
    MainState::HorizonOffset = HorizonOffsetFor(MainState::CameraZ, MainState::CameraY);
}

void TMain::HeightArrayDivSpinChange() {
    MainState::HeightArrayDiv = static_cast<uint8_t>(HeightArrayDivSpin->Value());
}

void TMain::CamRotSpinChange() { MainState::CamRot = static_cast<uint16_t>(CamRotSpin->Value()); }

void TMain::WaitCursorMoveCheckClick() {
    MainState::WaitCursorMove = WaitCursorMoveCheck->isChecked();
}

// Toggled rather than read from the box, so it stays in step with every click.
void TMain::CamRotAutoCheckClick() {
    MainState::CamRotAuto = !MainState::CamRotAuto;
    CamRotSpin->setEnabled(!MainState::CamRotAuto);
    if (!MainState::CamRotAuto) CamRotSpin->SetValue(MainState::CamRot);
}

void TMain::BrushModeBoxClick() {
    SelectBrushMode(BrushModeItemIndex(), Terrain::BrushMode);
    FillBrushProfile(Terrain::BrushMode, Terrain::BrushProfile);
}

// A stroke in progress ends first, so the reset is a step of its own.
void TMain::InitBtnClick() {
    FHistory.Commit(Terrain::HeightArray);
    ResetHeightArray(DXMap, Terrain::HeightArray, Terrain::MapPixel);
    FHistory.Commit(Terrain::HeightArray);
}

void TMain::UndoEdit() { ShowStep(FHistory.Undo(Terrain::HeightArray)); }

void TMain::RedoEdit() { ShowStep(FHistory.Redo(Terrain::HeightArray)); }

// The cells a step changed, repainted on the map view and presented at once; a field taken
// whole shows whole, or the cells it left as they were would keep their old look.
void TMain::ShowStep(const TEditHistory::TStep* step) {
    if (step == nullptr) return;
    if (step->WholeField) {
        PaintWholeMap(DXMap, Terrain::HeightArray, Terrain::MapPixel);
    } else {
        RepaintMapCells(DXMap, Terrain::HeightArray, step->Cells, Terrain::MapPixel);
    }
}

void TMain::ExitBtnClick() { Close(); }
