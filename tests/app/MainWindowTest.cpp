// The main window: layout, controls, focus order, parameters, start-up and closing.
#include "MainTestFixture.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWheelEvent>
#include <QTest>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "app/CommandLine.h"
#include "app/MapHome.h"
#include "support/FaultyFileOps.h"
#include "terrain/FieldRandom.h"
#include "terrain/Landscape.h"
#include "terrain/MapFile.h"
#include "terrain/SampleLandscape.h"
#include "toolkit/Application.h"

TEST_F(MainWindowTest, LayoutReplacesTheDesignedSizes) {
    Show();
    EXPECT_EQ(Window->Client()->size(), QSize(688, 553));
    EXPECT_EQ(Window->size(), QSize(688, 553));
    EXPECT_EQ(Window->DXScreen->geometry(), QRect(16, 16, 320, 240));
    EXPECT_EQ(Window->DXMap->geometry(), QRect(352, 16, 320, 240));
    EXPECT_EQ(Window->CommandPanel->geometry(), QRect(16, 272, 656, 265));
    EXPECT_EQ(Window->windowTitle(), QStringLiteral("Voxel 기초 - by Tessmir"));
    EXPECT_TRUE(Window->DXScreen->Initialized());
    EXPECT_TRUE(Window->DXMap->Initialized());
    EXPECT_EQ(Window->DXMap->SurfaceWidth(), 320);
    EXPECT_EQ(Window->DXMap->SurfaceHeight(), 240);
}

TEST_F(MainWindowTest, ControlsStandAsDesigned) {
    Create();
    TMain& m = *Window;
    struct Row {
        QWidget* Control;
        QRect Geometry;
        QString Caption;
        bool Enabled;
    };
    const Row rows[] = {
        {m.Label1, {8, 8, 80, 16}, "브러시 반경", true},
        {m.Label2, {8, 32, 80, 16}, "카메라 높이", true},
        {m.Label3, {8, 56, 65, 16}, "변화 억제", true},
        {m.Label4, {8, 80, 80, 16}, "카메라 각도", true},
        {m.BrushRangeMinSpin, {96, 8, 73, 22}, "", true},
        {m.CameraZSpin, {96, 32, 73, 22}, "", true},
        {m.HeightArrayDivSpin, {96, 56, 73, 22}, "", true},
        {m.CamRotSpin, {96, 80, 73, 22}, "", false},
        {m.WaitCursorMoveCheck, {8, 120, 161, 17}, "마우스 이동 기다림", true},
        {m.CamRotAutoCheck, {8, 144, 161, 17}, "카메라 자동회전", true},
        {m.BrushModeBox, {72, 168, 97, 81}, " 붓  ", true},
        {m.InitBtn, {192, 8, 75, 25}, "초기화", true},
        {m.MeanBtn, {192, 40, 75, 25}, "평준화", false},
        {m.NoiseBtn, {192, 72, 75, 25}, "잡음", false},
        {m.AutoBtn, {192, 104, 75, 25}, "자동생성", false},
        {m.ExitBtn, {192, 184, 75, 25}, "끝내기", true},
    };
    for (const Row& row : rows) {
        // Built as a QString: the same text as std::string trips a false -Wrestrict in g++ 12 at -O3.
        SCOPED_TRACE((QString::fromLatin1(row.Control->metaObject()->className()) + " " + row.Caption)
                         .toStdString());
        EXPECT_EQ(row.Control->parentWidget(), m.CommandPanel);
        EXPECT_EQ(row.Control->geometry(), row.Geometry);
        EXPECT_EQ(row.Control->isEnabled(), row.Enabled);
        QString caption;
        if (auto* label = qobject_cast<QLabel*>(row.Control)) caption = label->text();
        if (auto* button = qobject_cast<QAbstractButton*>(row.Control)) caption = button->text();
        if (auto* box = qobject_cast<QGroupBox*>(row.Control)) caption = box->title();
        EXPECT_EQ(caption, row.Caption);
    }
    struct Range {
        TSpinEdit* Spin;
        int32_t Min, Max, Value;
    };
    for (const Range& r : {Range{m.BrushRangeMinSpin, 1, 200, 50}, Range{m.CameraZSpin, 1, 1000, 240},
                           Range{m.HeightArrayDivSpin, 1, 128, 1}, Range{m.CamRotSpin, 0, 359, 0}}) {
        EXPECT_EQ(r.Spin->MinValue(), r.Min);
        EXPECT_EQ(r.Spin->MaxValue(), r.Max);
        EXPECT_EQ(r.Spin->Value(), r.Value);
    }
    EXPECT_FALSE(m.WaitCursorMoveCheck->isChecked());
    EXPECT_TRUE(m.CamRotAutoCheck->isChecked());
    EXPECT_EQ(m.BrushModeItemIndex(), 0);
    EXPECT_EQ(m.BrushModeItems->button(0)->text(), "가우시안");
    EXPECT_EQ(m.BrushModeItems->button(1)->text(), "삼각");
    EXPECT_EQ(m.BrushModeItems->button(2)->text(), "사각");

    using namespace MainState;
    EXPECT_EQ(BrushRangeMin, 50);
    EXPECT_EQ(HeightArrayDiv, 1);
    EXPECT_EQ(CameraX, 160);
    EXPECT_EQ(CameraY, 480);
    EXPECT_EQ(CameraZ, 240);
    EXPECT_EQ(HorizonOffset, 72);
    EXPECT_TRUE(CamRotAuto);
    EXPECT_FALSE(WaitCursorMove);
    EXPECT_EQ(MapFileName, Dir.Path() + "Map.Dat");
    EXPECT_EQ(Terrain::BrushMode, 1);
    EXPECT_EQ(Terrain::BrushProfile[0], 8);
    EXPECT_EQ(Terrain::SqrtTable[65280], 255);
    EXPECT_EQ(Terrain::CosTable[0], 1.0f);
}

// With --tools the three buttons join the order at their designed places.
class FocusOrderTest : public MainWindowTest, public ::testing::WithParamInterface<bool> {};

TEST_P(FocusOrderTest, StartsOnResetAndSkipsDisabledControls) {
    const bool tools = GetParam();
    Create();
    if (tools) Window->EnableTools(7);
    Show();
    TMain& m = *Window;
    ASSERT_EQ(QApplication::focusWidget(), m.InitBtn);
    std::vector<const QWidget*> expected = {m.AutoBtn,
                                            m.ExitBtn,
                                            m.BrushRangeMinSpin->Editor(),
                                            m.MeanBtn,
                                            m.NoiseBtn,
                                            m.CameraZSpin->Editor(),
                                            m.WaitCursorMoveCheck,
                                            m.BrushModeItems->button(0),
                                            m.HeightArrayDivSpin->Editor(),
                                            m.CamRotAutoCheck,
                                            m.InitBtn};
    if (!tools)
        std::erase_if(expected, [&m](const QWidget* w) {
            return w == m.AutoBtn || w == m.MeanBtn || w == m.NoiseBtn;
        });
    for (QPushButton* button : {m.MeanBtn, m.NoiseBtn, m.AutoBtn}) {
        EXPECT_EQ(button->isEnabled(), tools);
        EXPECT_EQ(button->toolTip().contains("--tools"), !tools);
    }
    EXPECT_EQ(m.HeightArrayDivSpin->toolTip().endsWith("it also divides the noise"), tools);
    auto nameOf = [](const QWidget* w) {
        QString name = w ? w->metaObject()->className() : "none";
        for (; w; w = w->parentWidget())
            if (!w->objectName().isEmpty()) return w->objectName() + "/" + name;
        return name;
    };
    for (const QWidget* next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(nameOf(QApplication::focusWidget()).toStdString(), nameOf(next).toStdString());
    }
    // With the rotation off, the angle joins the order.
    QTest::mouseClick(m.CamRotAutoCheck, Qt::LeftButton);
    m.HeightArrayDivSpin->Editor()->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), m.CamRotSpin->Editor());
}

INSTANTIATE_TEST_SUITE_P(Tools, FocusOrderTest, ::testing::Bool());

// The first click draws from the seed's first stream, as one step; a damping of 0 is the brush's
// division error, with nothing changed (the map view's whole repaint is seen end to end).
TEST_F(MainWindowTest, ToolClicksAreWholeFieldStepsAndDampingZeroFaults) {
    ShowOverVariedField();
    Window->EnableTools(7);
    const THeightArray loaded = Terrain::HeightArray;
    QTest::mouseClick(Window->AutoBtn, Qt::LeftButton);
    THeightArray generated;
    GenerateLandscape(generated, ClickSeed(7, 1));
    ASSERT_EQ(Terrain::HeightArray, generated);

    // A typed 256 is clamped when the click takes the focus, so only the state can hold 0.
    MainState::HeightArrayDiv = 0;
    QTest::mouseClick(Window->NoiseBtn, Qt::LeftButton);
    ASSERT_EQ(Boxes.Texts.size(), 1u);
    EXPECT_EQ(Boxes.Texts[0], "Division by zero.");
    EXPECT_EQ(Terrain::HeightArray, generated);
    Window->UndoEdit();
    EXPECT_EQ(Terrain::HeightArray, loaded);
}

TEST_F(MainWindowTest, CameraHeightSetsTheHorizon) {
    Show();
    for (auto [typed, horizon] : {std::pair{"240", 72}, {"1", 120}, {"600", 0}, {"1000", -80}}) {
        TypeInto(Window->CameraZSpin, typed);
        EXPECT_EQ(MainState::CameraZ, std::stoi(typed));
        EXPECT_EQ(MainState::HorizonOffset, horizon);
    }
    // Extreme typed heights wrap in 32 bits without faulting.
    TypeInto(Window->CameraZSpin, "2147483647");
    EXPECT_EQ(MainState::HorizonOffset, HorizonOffsetFor(2147483647, 480));
}

TEST_F(MainWindowTest, TypedRadiusHoldsUntilFocusLeaves) {
    Show();
    TypeInto(Window->BrushRangeMinSpin, "300");
    EXPECT_EQ(MainState::BrushRangeMin, 300);
    Window->InitBtn->setFocus();
    EXPECT_EQ(Window->BrushRangeMinSpin->Text(), "200");
    EXPECT_EQ(MainState::BrushRangeMin, 200);

    TypeInto(Window->HeightArrayDivSpin, "256"); // low 8 bits
    EXPECT_EQ(MainState::HeightArrayDiv, 0);
    Window->InitBtn->setFocus();
    EXPECT_EQ(MainState::HeightArrayDiv, 128);
}

// Over the map the wheel steps the radius through its spin (whole notches of summed deltas,
// Shift ten at a time, the range kept); the event is taken, so it does not go on to scroll the
// window. The cursor follows the radius, a plain cross beyond the range.
TEST_F(MainWindowTest, WheelOverTheMapStepsTheRadiusAndTheCursorFollows) {
    Show();
    struct TRow {
        std::vector<int> Deltas;
        bool Shift;
        int32_t Radius; // after the deltas, from the one before
    };
    const TRow rows[] = {{{120}, false, 51},      {{40, 40}, false, 51}, {{40}, false, 52},
                         {{-120}, true, 42},      {{-240}, false, 40},   {{1200}, true, 140},
                         {{120 * 7}, true, 200}};
    for (const TRow& row : rows) {
        for (int delta : row.Deltas) {
            QWheelEvent wheel(QPointF(5, 5), Window->DXMap->mapToGlobal(QPointF(5, 5)), QPoint(),
                              QPoint(0, delta), Qt::NoButton,
                              row.Shift ? Qt::ShiftModifier : Qt::NoModifier, Qt::NoScrollPhase,
                              false);
            QApplication::sendEvent(Window->DXMap, &wheel);
            EXPECT_TRUE(wheel.isAccepted());
        }
        EXPECT_EQ(MainState::BrushRangeMin, row.Radius);
        EXPECT_EQ(Window->BrushRangeMinSpin->Text(), QString::number(row.Radius));
        const QCursor cursor = Window->DXMap->cursor();
        ASSERT_EQ(cursor.shape(), Qt::BitmapCursor);
        EXPECT_EQ(cursor.pixmap().width(), 2 * (row.Radius + 4) + 1); // at scale 1
        EXPECT_EQ(cursor.hotSpot(), QPoint(row.Radius + 4, row.Radius + 4));
    }
    TypeInto(Window->BrushRangeMinSpin, "99999");
    EXPECT_EQ(Window->DXMap->cursor().shape(), Qt::CrossCursor);
}

TEST_F(MainWindowTest, AutoRotationCheckBoxTogglesTheAngleSpin) {
    Show();
    TMain& m = *Window;
    MainState::CamRot = 123;
    QTest::mouseClick(m.CamRotAutoCheck, Qt::LeftButton);
    EXPECT_FALSE(MainState::CamRotAuto);
    EXPECT_TRUE(m.CamRotSpin->isEnabled());
    EXPECT_EQ(m.CamRotSpin->Text(), "123");
    TypeInto(m.CamRotSpin, "45");
    EXPECT_EQ(MainState::CamRot, 45);
    m.DXTimerTimer(nullptr, 1);
    EXPECT_EQ(MainState::CamRot, 45); // no rotation while off

    m.CamRotAutoCheck->setFocus();
    QTest::keyClick(m.CamRotAutoCheck, Qt::Key_Space);
    EXPECT_TRUE(MainState::CamRotAuto);
    EXPECT_TRUE(m.CamRotAutoCheck->isChecked());
    EXPECT_FALSE(m.CamRotSpin->isEnabled());
    m.DXTimerTimer(nullptr, 1);
    EXPECT_EQ(MainState::CamRot, 46); // resumes from the stopped angle
}

TEST_F(MainWindowTest, BrushShapeSelectsItsProfile) {
    Show();
    QTest::mouseClick(Window->BrushModeItems->button(1), Qt::LeftButton);
    EXPECT_EQ(Terrain::BrushMode, 2);
    EXPECT_EQ(Terrain::BrushProfile, (TBrushProfile{6, 6, 5, 5, 4, 4, 3, 3, 2, 2, 1, 1}));
    QTest::mouseClick(Window->BrushModeItems->button(2), Qt::LeftButton);
    EXPECT_EQ(Terrain::BrushProfile, (TBrushProfile{8, 8, 8, 8, 8, 8, 8, 8, 8, 4, 2, 1}));
}

TEST_F(MainWindowTest, StartUpLoadsTheMapAndExitSavesItBack) {
    const auto field = VariedField();
    WriteFileBytes(Dir.File("Map.Dat"), field);
    Show();
    EXPECT_TRUE(std::equal(field.begin(), field.end(), Terrain::HeightArray.begin()));
    Terrain::HeightArray[CellIndex(5, 6)] ^= 0xFF;
    auto changed = field;
    changed[CellIndex(5, 6)] ^= 0xFF;

    QTest::mouseClick(Window->ExitBtn, Qt::LeftButton);
    EXPECT_EQ(ReadFileBytes(Dir.File("Map.Dat")), changed);
    EXPECT_TRUE(Application->Terminated() || !Window->isVisible());
    EXPECT_FALSE(Window->isVisible());
    EXPECT_TRUE(Window->DXMap->Initialized()); // a program close leaves the views alone
    EXPECT_TRUE(Boxes.Texts.empty()) << (Boxes.Texts.empty() ? "" : Boxes.Texts[0].toStdString());
}

TEST_F(MainWindowTest, CloseBoxFinalisesTheViewsThenSaves) {
    Show();
    EXPECT_TRUE(SendSpontaneousClose(Window.get()));
    EXPECT_FALSE(Window->DXScreen->Initialized());
    EXPECT_FALSE(Window->DXMap->Initialized());
    EXPECT_EQ(ReadFileBytes(Dir.File("Map.Dat")), std::vector<uint8_t>(MapCells, 0));
}

// A close whose save fails with a change: the box says why, names the file below, and offers
// the ways out. Cancel keeps the window and the field with working views (also after the close
// box finalised them), and the next close retries; a signal's close shows the plain box.
TEST_F(MainWindowTest, FailedSaveKeepsTheWindowWithWorkingViewsUntilAWayOutIsChosen) {
    ShowOverVariedField();
    std::filesystem::remove(Dir.File("Map.Dat"));
    std::filesystem::create_directory(Dir.File("Map.Dat")); // a folder in the way
    Terrain::HeightArray[0] = 9;
    Window->ExitBtnClick();
    ASSERT_EQ(Boxes.Texts.size(), 1u);
    EXPECT_TRUE(Boxes.Texts[0].startsWith("File access denied.\n"))
        << Boxes.Texts[0].toStdString();
    EXPECT_TRUE((Boxes.Texts[0] + Boxes.Details[0]).contains(Dir.File("Map.Dat").c_str()));
    EXPECT_TRUE(Window->isVisible());
    EXPECT_FALSE(Application->Terminated());

    EXPECT_FALSE(SendSpontaneousClose(Window.get()));
    EXPECT_EQ(Boxes.Texts.size(), 2u);
    ASSERT_TRUE(Window->DXScreen->Initialized() && Window->DXMap->Initialized());
    // A stroke after it lands on the field and shows on the map view.
    Mouse = TMouseSample{true, false, 0, 0};
    const QPoint centre = Window->DXMap->mapToGlobal(QPoint(160, 120));
    Mouse.X = centre.x();
    Mouse.Y = centre.y();
    const QImage before = Window->DXMap->Presented().copy();
    const uint8_t raised = Terrain::HeightArray[CellIndex(160, 120)];
    Window->DXTimerTimer(nullptr, 1);
    EXPECT_GT(Terrain::HeightArray[CellIndex(160, 120)], raised);
    EXPECT_NE(Window->DXMap->Presented(), before);

    Window->CloseForSignal();
    ASSERT_EQ(Boxes.Texts.size(), 3u);
    EXPECT_EQ(Boxes.Details[2], "");
    EXPECT_TRUE(Window->isVisible());

    std::filesystem::remove(Dir.File("Map.Dat"));
    Window->ExitBtnClick();
    EXPECT_EQ(ReadFileBytes(Dir.File("Map.Dat"))[0], 9);
    EXPECT_FALSE(Window->isVisible());
}

// Quit without saving ends with nothing written; Save As... saves the field in the chosen file
// and ends; a Save As cancelled or failing keeps the window.
TEST_F(MainWindowTest, TheFailedClosesWaysOutDoWhatTheySay) {
    std::filesystem::create_directory(Dir.File("Map.Dat"));
    Show();
    Terrain::HeightArray[0] = 9;
    Boxes.Answer = QMessageBox::Discard;
    EXPECT_TRUE(SendSpontaneousClose(Window.get()));
    EXPECT_TRUE(Application->Terminated() || Application->Ending());
    EXPECT_EQ(Dir.Names(), (std::vector<std::string>{"Map.Dat"}));
    EXPECT_TRUE(std::filesystem::is_empty(Dir.File("Map.Dat")));

    Window.reset();
    ForgetQuitRequest();
    Show();
    Terrain::HeightArray[0] = 9;
    Boxes.Answer = QMessageBox::Save;
    Window->AskSaveFileName = [] { return std::string(); }; // the dialog cancelled
    Window->ExitBtnClick();
    EXPECT_TRUE(Window->isVisible());
    Window->AskSaveFileName = [this] { return Dir.File("none/kept.dat"); };
    Window->ExitBtnClick();
    EXPECT_TRUE(Window->isVisible());
    ASSERT_EQ(Boxes.Texts.size(), 4u); // a close's box each time, and Save As's error
    Window->AskSaveFileName = [this] { return Dir.File("kept.dat"); };
    Window->ExitBtnClick();
    EXPECT_FALSE(Window->isVisible());
    EXPECT_TRUE(Application->Ending());
    EXPECT_EQ(ReadFileBytes(Dir.File("kept.dat"))[0], 9);
}

// Save As opens in the map's folder, or, where that folder cannot take a file, in the home
// folder under the map's name.
TEST_F(MainWindowTest, SaveAsOpensInAFolderTheUserCanWrite) {
    std::vector<QString> started;
    const auto ask = [&](const std::string& mapFile) {
        Window = std::make_unique<TMain>(Renderer, Dir.Path(), mapFile);
        QMetaObject::invokeMethod(
            qApp,
            [&] {
                if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                    started.push_back(dialog->directory().absolutePath() + "/" +
                                      dialog->selectedFiles().value(0).section('/', -1));
                    dialog->reject();
                }
            },
            Qt::QueuedConnection);
        EXPECT_FALSE(Window->SaveFieldAs());
        Window.reset();
    };
    ask(Dir.File("m.dat"));
    ask(Dir.File("none/m.dat"));
    EXPECT_EQ(started, (std::vector<QString>{QString::fromStdString(Dir.File("m.dat")),
                                             QDir::homePath() + "/m.dat"}));
}

// With nothing changed since the load, a save that cannot be made still closes (one line on
// standard error, no box); after a change the window stays, and Save As keeps the field in the
// chosen file, which every later close saves to.
TEST_F(MainWindowTest, FailedSaveClosesOnlyWithNothingToLoseAndSaveAsMovesTheMap) {
    std::filesystem::create_directory(Dir.File("Map.Dat")); // a folder in the way
    testing::internal::CaptureStderr();
    Show();
    // Said in the window too, once it shows frames, where it covers no control and no view.
    EXPECT_FALSE(Window->NoticeLabel->isVisible());
    Window->MouseSampler = [] { return TMouseSample{}; };
    Window->DXTimerTimer(nullptr, 1);
    ASSERT_TRUE(Window->NoticeLabel->isVisible());
    EXPECT_TRUE(Window->NoticeLabel->text().remove(QChar(0x200B)).startsWith(
        QString::fromStdString(Dir.File("Map.Dat")) + " cannot be written (File access denied"));
    const auto onWindow = [this](QWidget* w) {
        return QRect(w->mapTo(Window.get(), QPoint(0, 0)), w->size());
    };
    const QRect notice = onWindow(Window->NoticeLabel);
    for (QWidget* w : Window->findChildren<QWidget*>()) {
        if (!w->isVisible() || w == Window->NoticeLabel || w->isAncestorOf(Window->NoticeLabel))
            continue;
        EXPECT_FALSE(onWindow(w).intersects(notice)) << w->metaObject()->className();
    }
    Window->ExitBtnClick();
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(Boxes.Texts.empty());
    EXPECT_FALSE(Window->isVisible());
    EXPECT_NE(said.find("cannot be written (File access denied: it is not a file but a folder"),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("nothing is lost"), std::string::npos) << said;

    Window.reset();
    ForgetQuitRequest();
    Show();
    Terrain::HeightArray[0] = 9;
    Window->ExitBtnClick();
    ASSERT_EQ(Boxes.Texts.size(), 1u);
    EXPECT_TRUE(Window->isVisible());
    Window->AskSaveFileName = [] { return std::string(); }; // cancelled: nothing happens
    Window->SaveFieldAs();
    Window->AskSaveFileName = [this] { return Dir.File("none/kept.dat"); };
    EXPECT_THROW(Window->SaveFieldAs(), EInOutError);
    // Not a map: refused before any question; a map there: replaced only if the user says so.
    std::vector<std::string> asked;
    bool replace = false;
    Window->AskReplaceMap = [&](const std::string& name) {
        asked.push_back(name);
        return replace;
    };
    WriteFileBytes(Dir.File("hills.png"), {0x89, 'P', 'N', 'G'});
    Window->AskSaveFileName = [this] { return Dir.File("hills.png"); };
    EXPECT_THROW(Window->SaveFieldAs(), Exception);
    EXPECT_EQ(ReadFileBytes(Dir.File("hills.png")).size(), 4u);
    EXPECT_TRUE(asked.empty());
    std::filesystem::remove(Dir.File("hills.png"));
    WriteFileBytes(Dir.File("kept.dat"), std::vector<uint8_t>(MapCells, 3));
    Window->AskSaveFileName = [this] { return Dir.File("kept.dat"); };
    Window->SaveFieldAs();
    EXPECT_EQ(asked, std::vector<std::string>{Dir.File("kept.dat")});
    EXPECT_EQ(ReadFileBytes(Dir.File("kept.dat"))[0], 3);
    replace = true;
    Window->AskSaveFileName = [this] { return Dir.File("kept.dat"); };
    Window->SaveFieldAs();
    EXPECT_EQ(MainState::MapFileName, Dir.File("kept.dat"));
    EXPECT_EQ(ReadFileBytes(Dir.File("kept.dat"))[0], 9);
    Terrain::HeightArray[1] = 4;
    Window->ExitBtnClick();
    EXPECT_FALSE(Window->isVisible());
    EXPECT_EQ(ReadFileBytes(Dir.File("kept.dat"))[1], 4);
    EXPECT_EQ(Dir.Names(), (std::vector<std::string>{"Map.Dat", "kept.dat", "kept.dat.bak"}));
    EXPECT_EQ(asked.size(), 2u);
}

// A load that fails is shown, leaves the field all zero, and the program still works.
TEST_F(MainWindowTest, FailedLoadStillBuildsTablesAndBrush) {
    TFaultyOps failing;
    failing.FailAt = TStep::Read;
    failing.Error = EIO;
    WriteFileBytes(Dir.File("Map.Dat"), VariedField());
    SetFileOps(&failing);
    Show();
    SetFileOps(nullptr);
    ASSERT_EQ(Boxes.Texts.size(), 1u);
    EXPECT_EQ(Boxes.Texts[0], QString("I/O error %1.\n%2: Input/output error.")
                                  .arg(EIO)
                                  .arg(QString::fromStdString(Dir.File("Map.Dat"))));
    EXPECT_EQ(std::count(Terrain::HeightArray.begin(), Terrain::HeightArray.end(), 0), MapCells);
    EXPECT_EQ(Terrain::SqrtTable[4], 2);
    EXPECT_EQ(Terrain::SinTable[90], 1.0f);
    EXPECT_EQ(Terrain::BrushProfile[0], 8);
    EXPECT_TRUE(Window->isVisible());

    // The unread map is kept aside before the empty field is saved; a later close finds the
    // file holding the field and writes nothing.
    Window->ExitBtnClick();
    EXPECT_EQ(ReadFileBytes(Dir.File("Map.Dat.unread")), VariedField());
    EXPECT_EQ(ReadFileBytes(Dir.File("Map.Dat")), std::vector<uint8_t>(MapCells, 0));
    Window->ExitBtnClick();
    EXPECT_EQ(Dir.Names(),
              (std::vector<std::string>{"Map.Dat", "Map.Dat.bak", "Map.Dat.unread"}));
}

// The command line: what runs, the rate, the map, and what the toolkit gets (its own options
// with their values, in order). A file name is taken as its bytes.
TEST(CommandLineTest, ParsesTheTable) {
    using A = TCommandLine::TAction;
    struct TRow {
        std::vector<std::string> Args;
        A Action;
        int Fps;
        std::optional<std::string> Map;
        std::vector<std::string> Toolkit;
        std::string Kernel = "";
        bool Tools = false;
        std::optional<uint32_t> Seed = {};
    };
    const TRow rows[] = {
        {{}, A::Run, 0, {}, {}},
        {{"--fps", "60", "m.dat"}, A::Run, 60, "m.dat", {}},
        {{"--fps=1000", "--fps", "1"}, A::Run, 1, {}, {}},
        {{"-platform", "xcb", "--display", ":2", "-reverse", "x\xff.dat"},
         A::Run,
         0,
         "x\xff.dat",
         {"-platform", "xcb", "--display", ":2", "-reverse"}},
        {{"--", "--help"}, A::Run, 0, "--help", {}},
        {{"-"}, A::Run, 0, "-", {}},
        {{"m.dat", "--help", "--bogus"}, A::Fail, 0, {}, {}}, // a mistake outweighs --help
        {{"--version", "--help"}, A::Version, 0, {}, {}},
        {{"-h"}, A::Help, 0, {}, {}},
        {{"--bogus"}, A::Fail, 0, {}, {}},
        {{"--fps"}, A::Fail, 0, {}, {}},
        {{"--kernel", "avx2", "--kernel=portable", "m"}, A::Run, 0, "m", {}, "portable"},
        {{"--kernels", "--kernel", "avx512"}, A::Kernels, 0, {}, {}, "avx512"},
        {{"--kernel", "sse"}, A::Fail, 0, {}, {}},
        {{"--kernel"}, A::Fail, 0, {}, {}},
        {{"--fps", "0"}, A::Fail, 0, {}, {}},
        {{"--fps", "1001"}, A::Fail, 0, {}, {}},
        {{"--fps", "+60"}, A::Fail, 0, {}, {}},
        {{"--fps", "99999999999"}, A::Fail, 0, {}, {}},
        {{"-display"}, A::Fail, 0, {}, {}},
        {{"-visual", "-platform", "xcb"}, A::Fail, 0, {}, {}}, // an option is no value
        {{"-title", "-x-"}, A::Run, 0, {}, {"-title", "-x-"}},
        {{"a", "b"}, A::Fail, 0, {}, {}},
        {{""}, A::Fail, 0, {}, {}},
        {{"--seed", "4294967295", "--tools"}, A::Run, 0, {}, {}, "", true, 4294967295u},
        {{"--tools", "--seed=0", "m"}, A::Run, 0, "m", {}, "", true, 0u},
        {{"--tools"}, A::Run, 0, {}, {}, "", true},
        {{"--seed", "7"}, A::Fail, 0, {}, {}}, // only with --tools
        {{"--seed", "7", "--help"}, A::Fail, 0, {}, {}},
        {{"--tools", "--seed", "4294967296"}, A::Fail, 0, {}, {}},
        {{"--tools", "--seed", "99999999999"}, A::Fail, 0, {}, {}},
        {{"--tools", "--seed", "-1"}, A::Fail, 0, {}, {}},
        {{"--tools", "--seed"}, A::Fail, 0, {}, {}},
    };
    for (const TRow& row : rows) {
        std::vector<std::string> args{"voxel"};
        args.insert(args.end(), row.Args.begin(), row.Args.end());
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        const TCommandLine line = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
        SCOPED_TRACE(testing::PrintToString(row.Args));
        EXPECT_EQ(line.Action, row.Action);
        EXPECT_EQ(line.Error.empty(), row.Action != A::Fail);
        if (row.Action == A::Fail) continue;
        EXPECT_EQ(line.Fps, row.Fps);
        EXPECT_EQ(line.MapFile, row.Map);
        EXPECT_EQ(line.Kernel, row.Kernel);
        EXPECT_EQ(line.Tools, row.Tools);
        EXPECT_EQ(line.Seed, row.Seed);
        std::vector<std::string> toolkit(line.ToolkitArgs.begin() + 1, line.ToolkitArgs.end());
        EXPECT_EQ(toolkit, row.Toolkit);
        EXPECT_EQ(line.ToolkitArgs.front(), argv.front());
    }
}

// The files the toolkit's options name are read only when they are regular files of sane size,
// and a window larger than the screen is refused, before the toolkit sees either.
TEST(CommandLineTest, ToolkitFilesAndGeometryAreCheckedFirst) {
    TTempDir dir;
    WriteFileBytes(dir.File("style.qss"), {'*', '{', '}'});
    std::filesystem::resize_file(dir.File("style.qss"), 3);
    WriteFileBytes(dir.File("huge.qss"), {});
    std::filesystem::resize_file(dir.File("huge.qss"), MaxToolkitFileBytes + 1);
    const std::string style = "-stylesheet=" + dir.File("style.qss");
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"-stylesheet", dir.File("style.qss"), "-qwindowgeometry", "640x480+10+10"}, ""},
        {{style, "-geometry", "+10+10"}, ""},
        {{"-stylesheet", "/dev/zero"}, "-stylesheet names /dev/zero, which is not a regular file"},
        {{"-stylesheet=/dev/zero"}, "-stylesheet names /dev/zero, which is not a regular file"},
        {{"-qwindowicon", dir.Path()}, "-qwindowicon names " + dir.Path() +
                                           ", which is not a regular file"},
        {{"-icon", dir.File("huge.qss")}, "-icon names " + dir.File("huge.qss") +
                                              ", which is larger than 4 MB"},
        {{"-qwindowgeometry", "1281x100"}, "geometry"},
        {{"-geometry", "100x1025"}, "geometry"},
        {{"-qwindowgeometry", "99999999999x1"}, "geometry"}};
    for (const auto& [args, problem] : rows) {
        std::vector<std::string> all{"voxel"};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : all) argv.push_back(arg.data());
        const TCommandLine line = ParseCommandLine(static_cast<int>(argv.size()), argv.data());
        SCOPED_TRACE(testing::PrintToString(args));
        ASSERT_EQ(line.Action, TCommandLine::TAction::Run);
        const std::string said = ToolkitFileProblem(line) + ToolkitGeometryProblem(line, 1280, 1024);
        if (problem == "geometry")
            EXPECT_NE(said.find("is larger than the screen (1280x1024)"), std::string::npos);
        else
            EXPECT_EQ(said, problem);
    }
}

// Without MAP the map lives beside the program, unless the program's desktop entry lies under
// ../share/applications (installed, at any prefix): then in the user's data folder, by an
// absolute XDG_DATA_HOME, else by HOME. The environment is restored after.
TEST(MapHomeTest, FindsTheFolderByTheLayoutAndTheEnvironment) {
    const TTempDir dir;
    const std::string bin = dir.File("bin/"), entry = dir.File("share/applications/id.desktop");
    std::filesystem::create_directories(bin);
    std::filesystem::create_directories(dir.File("share/applications"));
    const auto saved = [](const char* name) {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    };
    const std::optional<std::string> home = saved("HOME"), dataHome = saved("XDG_DATA_HOME");
    enum TEntry { None, File, Folder };
    struct TRow {
        TEntry Entry;
        const char* DataHome; // null: unset
        std::string Folder;
        bool Installed;
    };
    const TRow rows[] = {
        {None, "/data", bin, false},
        {Folder, nullptr, bin, false}, // a folder by the entry's name is no entry
        {File, nullptr, "/h/.local/share/voxel/", true},
        {File, "/data", "/data/voxel/", true},
        {File, "/data/", "/data/voxel/", true},
        {File, "data", "/h/.local/share/voxel/", true}, // relative: to be ignored
        {File, "", "/h/.local/share/voxel/", true},
    };
    setenv("HOME", "/h", 1);
    for (const TRow& row : rows) {
        std::filesystem::remove(entry);
        if (row.Entry == File) WriteFileBytes(entry, {});
        if (row.Entry == Folder) std::filesystem::create_directory(entry);
        if (row.DataHome) setenv("XDG_DATA_HOME", row.DataHome, 1);
        else unsetenv("XDG_DATA_HOME");
        const TMapHome found = FindMapHome(bin, "id");
        EXPECT_EQ(found.Folder, row.Folder) << row.Entry << " " << (row.DataHome ? row.DataHome : "-");
        EXPECT_EQ(found.Installed, row.Installed) << row.Entry;
    }
    home ? setenv("HOME", home->c_str(), 1) : unsetenv("HOME");
    dataHome ? setenv("XDG_DATA_HOME", dataHome->c_str(), 1) : unsetenv("XDG_DATA_HOME");
}

// An installed program's first start makes the folder, each new level for the user alone, and
// puts the sample landscape there; a map already there, even a dangling link, stays as it is.
// A program in its build folder makes nothing.
TEST(MapHomeTest, MakesTheFolderAndPutsTheSampleOnlyWhereNoMapIs) {
    const TTempDir dir;
    const TMapHome home{dir.File("a/b/voxel/"), true};
    const std::string map = home.Folder + "Map.Dat";
    PrepareMapHome(home);
    THeightArray sample;
    MakeSampleLandscape(sample);
    EXPECT_EQ(ReadFileBytes(map), std::vector<uint8_t>(sample.begin(), sample.end()));
    for (const char* level : {"a", "a/b", "a/b/voxel"})
        EXPECT_EQ(std::filesystem::status(dir.File(level)).permissions(),
                  std::filesystem::perms::owner_all) << level;
    const std::vector<uint8_t> mine(MapCells, 7);
    WriteFileBytes(map, mine);
    PrepareMapHome(home);
    EXPECT_EQ(ReadFileBytes(map), mine);
    std::filesystem::remove(map);
    std::filesystem::create_symlink("elsewhere.dat", map);
    PrepareMapHome(home);
    EXPECT_TRUE(std::filesystem::is_symlink(map));
    EXPECT_FALSE(std::filesystem::exists(home.Folder + "elsewhere.dat"));
    PrepareMapHome({dir.File("c/"), false});
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"a"});
}
