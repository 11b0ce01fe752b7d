// The window under faults and bad input: every save step failing through the real 끝내기
// button, every load step failing at start-up, and typed extremes through the real spin edits
// and frame ticks, checked against the plain reference arithmetic.
#include "MainTestFixture.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <cerrno>
#include <climits>

#include "support/FaultyFileOps.h"
#include "support/ref/Reference.h"
#include "terrain/MapFile.h"
#include "toolkit/Application.h"
#include "util/Exceptions.h"

namespace {

struct TFault {
    TStep Step;
    int Error;
    QString Shown;   // the error box's text
    int OnCall = 1;  // which call of the step fails
};

class ReliabilityTest : public MainWindowTest {
  protected:
    void SetUp() override { WriteFileBytes(Dir.File("Map.Dat"), Original); }
    void TearDown() override {
        SetFileOps(nullptr);
        MainWindowTest::TearDown();
    }
    std::vector<uint8_t> Original = VariedField();
    TFaultyOps Ops;
};

} // namespace

TEST_F(ReliabilityTest, SaveFailingAtEachStepThroughExitKeepsWindowAndFileThenClosesCleanly) {
    Show();
    Window->MouseSampler = [] { return TMouseSample{}; };
    Terrain::HeightArray[CellIndex(7, 8)] ^= 0x5A;
    const std::vector<uint8_t> changed(Terrain::HeightArray.begin(), Terrain::HeightArray.end());
    // The close first reads the file back to see whether anything changed, so the save's own
    // status query and close are the second ones.
    // The message, then the file (%1) and the cause.
    const TFault faults[] = {{TStep::Target, ELOOP, "I/O error 40.\n%1: its symbolic links form a loop."},
                             {TStep::Inspect, EIO, "I/O error 5.\n%1: Input/output error.", 2},
                             {TStep::Writable, EACCES, "File access denied.\n%1: you may not both read and write it."},
                             {TStep::Temp, EMFILE, "Too many open files.\n%1."},
                             {TStep::Write, ENOSPC, "Disk full.\n%1."},
                             {TStep::ZeroWrite, 0, "Disk full.\n%1."},
                             {TStep::Sync, EIO, "I/O error 5.\n%1: Input/output error."},
                             {TStep::Close, EDQUOT, "Disk full.\n%1.", 2},
                             {TStep::Rename, EXDEV, "I/O error 18.\n%1: Invalid cross-device link."}};
    SetFileOps(&Ops);
    size_t boxes = 0;
    for (const TFault& fault : faults) {
        SCOPED_TRACE(fault.Shown.toStdString());
        Ops.Clear();
        Ops.FailAt = fault.Step;
        Ops.Error = fault.Error;
        Ops.FailOnCall = fault.OnCall;
        QTest::mouseClick(Window->ExitBtn, Qt::LeftButton);
        ASSERT_EQ(Boxes.Texts.size(), ++boxes);
        EXPECT_EQ(Boxes.Texts.back().toStdString(),
                  fault.Shown.arg(QString::fromStdString(Dir.File("Map.Dat"))).toStdString());
        EXPECT_TRUE(Window->isVisible());
        EXPECT_FALSE(Application->Terminated());
        EXPECT_EQ(ReadFileBytes(Dir.File("Map.Dat")), Original);
        for (const std::string& name : Dir.Names()) // no temporary; a .bak holds the same map
            EXPECT_TRUE(name == "Map.Dat" || name == "Map.Dat.bak") << name;
        EXPECT_NO_THROW(Window->DXTimerTimer(nullptr, 1)); // the program runs on
    }
    // A file that cannot be read back for the comparison counts as changed: it is saved.
    Ops.Clear();
    Ops.FailAt = TStep::Read;
    Ops.Error = EIO;
    QTest::mouseClick(Window->ExitBtn, Qt::LeftButton);
    EXPECT_EQ(Boxes.Texts.size(), boxes);
    EXPECT_FALSE(Window->isVisible());
    EXPECT_EQ(ReadFileBytes(Dir.File("Map.Dat")), changed);
    EXPECT_EQ(ReadFileBytes(Dir.File("Map.Dat.bak")), Original);
    EXPECT_EQ(Dir.Names(), (std::vector<std::string>{"Map.Dat", "Map.Dat.bak"}));
}

TEST_F(ReliabilityTest, LoadFailingAtEachStepOpensAWorkingWindowAndKeepsTheFile) {
    // The load's status query follows the one that stamps the file.
    const TFault faults[] = {{TStep::Inspect, ELOOP, "I/O error 40.\n%1: its symbolic links form a loop.", 2},
                             {TStep::OpenRead, EACCES, "File access denied.\n%1."},
                             {TStep::Size, EOVERFLOW, "I/O error 75.\n%1: Value too large for defined data type."},
                             {TStep::Read, EIO, "I/O error 5.\n%1: Input/output error."},
                             {TStep::ZeroRead, 0, "Read beyond end of file.\n%1."},
                             {TStep::Close, EIO, "I/O error 5.\n%1: Input/output error."}};
    SetFileOps(&Ops);
    for (const TFault& fault : faults) {
        SCOPED_TRACE(fault.Shown.toStdString());
        Ops.Clear();
        Ops.FailAt = fault.Step;
        Ops.Error = fault.Error;
        Ops.FailOnCall = fault.OnCall;
        Boxes.Texts.clear();
        Show();
        ASSERT_EQ(Boxes.Texts.size(), 1u);
        EXPECT_EQ(Boxes.Texts[0].toStdString(),
                  fault.Shown.arg(QString::fromStdString(Dir.File("Map.Dat"))).toStdString());
        EXPECT_EQ(std::count(Terrain::HeightArray.begin(), Terrain::HeightArray.end(), 0),
                  MapCells);
        EXPECT_EQ(Terrain::BrushProfile[0], 8);
        EXPECT_EQ(ReadFileBytes(Dir.File("Map.Dat")), Original);
        EXPECT_EQ(Dir.Names(), std::vector<std::string>{"Map.Dat"});
        Window->MouseSampler = [] { return TMouseSample{}; };
        EXPECT_NO_THROW(Window->DXTimerTimer(nullptr, 1));
        Window->hide();
        Window.reset();
    }
}

// ---- Typed extremes -------------------------------------------------------------------------

namespace {

class TypedExtremesTest : public MainWindowTest {
  protected:
    void SetUp() override { ShowOverVariedField(); }
    void CursorOnMap(bool onMap) {
        const QPoint global = onMap ? Window->DXMap->mapToGlobal(QPoint(160, 120))
                                    : Window->DXScreen->mapToGlobal(QPoint(10, 10));
        Mouse = {onMap, false, global.x(), global.y()};
    }
    // One frame; the message of the error it raised, or "" when none.
    std::string Tick() {
        return ErrorOf([&] { Window->DXTimerTimer(nullptr, 1); });
    }
    // The same stroke by the plain reference: the field it leaves and its error message.
    std::pair<THeightArray, std::string> ReferenceStroke() const {
        THeightArray field = Terrain::HeightArray;
        Ref::TMemorySurface surface;
        const TBrushParams params{MainState::BrushRangeMin, MainState::HeightArrayDiv, bmRaise,
                                  240};
        const std::string error = ErrorOf([&] {
            Ref::ApplyBrush(field, surface.Lock, 160, 120, params, Terrain::BrushProfile,
                            Terrain::SqrtTable, Terrain::MapPixel);
        });
        return {field, error};
    }
    // The frame's projection by the plain reference, or its error message.
    std::string ReferenceProjection(TProjHeightArray& out) const {
        using namespace MainState;
        const TCamera camera{CameraX, CameraY, CameraZ, HorizonOffset, CamRot};
        return ErrorOf([&] {
            Ref::ProjectField(Terrain::HeightArray, camera, Terrain::SinTable, Terrain::CosTable,
                              ClipRect, out);
        });
    }
    // Focus leaves the spin: its text and value come back into the range.
    void LeaveAndExpect(TSpinEdit* spin, const QString& text, int32_t value) {
        Window->InitBtn->setFocus();
        EXPECT_EQ(spin->Text().toStdString(), text.toStdString());
        EXPECT_EQ(spin->Value(), value);
    }
};

struct TTyped {
    const char* Text;
    int32_t Value;       // what the handler receives
    const char* Clamped; // the text once focus leaves
};

} // namespace

TEST_F(TypedExtremesTest, BrushRadiusAtTheEndsOfThe32BitRange) {
    const TTyped rows[] = {{"-2147483648", INT32_MIN, "1"},
                           {"-1", -1, "1"},
                           {"0", 0, "1"},
                           {"1", 1, "1"},
                           {"200", 200, "200"},
                           {"201", 201, "200"},
                           {"300", 300, "200"},
                           {"46340", 46340, "200"},
                           {"46341", 46341, "200"},
                           {"2147483647", INT32_MAX, "200"},
                           {"", 1, ""},
                           {"-", 1, "-"},
                           {"abc", 1, ""},
                           {"2147483648", 1, "2147483648"}};
    TSpinEdit* spin = Window->BrushRangeMinSpin;
    for (const TTyped& row : rows) {
        SCOPED_TRACE(row.Text);
        TypeInto(spin, row.Text);
        EXPECT_EQ(MainState::BrushRangeMin, row.Value);
        CursorOnMap(true);
        const THeightArray before = Terrain::HeightArray;
        const auto [expected, error] = ReferenceStroke();
        EXPECT_EQ(Tick(), error);
        EXPECT_EQ(Terrain::HeightArray, expected);
        // A negative radius does nothing; 0 raises.
        EXPECT_EQ(error, row.Value == 0 ? "Division by zero" : "");
        if (row.Value < 0) {
            EXPECT_EQ(Terrain::HeightArray, before);
        }
        LeaveAndExpect(spin, row.Clamped, std::clamp(row.Value, 1, 200));
        EXPECT_EQ(MainState::BrushRangeMin, std::clamp(row.Value, 1, 200));
    }
}

TEST_F(TypedExtremesTest, DivisorKeepsItsLow8Bits) {
    const TTyped rows[] = {{"0", 0, "1"},
                           {"1", 1, "1"},
                           {"128", 128, "128"},
                           {"129", 129, "128"},
                           {"255", 255, "128"},
                           {"256", 256, "128"},
                           {"257", 257, "128"},
                           {"2147483647", INT32_MAX, "128"},
                           {"-2147483648", INT32_MIN, "1"}};
    TSpinEdit* spin = Window->HeightArrayDivSpin;
    for (const TTyped& row : rows) {
        SCOPED_TRACE(row.Text);
        TypeInto(spin, row.Text);
        EXPECT_EQ(MainState::HeightArrayDiv, static_cast<uint8_t>(row.Value));
        CursorOnMap(true);
        const auto [expected, error] = ReferenceStroke();
        EXPECT_EQ(Tick(), error);
        EXPECT_EQ(Terrain::HeightArray, expected);
        EXPECT_EQ(error, static_cast<uint8_t>(row.Value) == 0 ? "Division by zero" : "");
        LeaveAndExpect(spin, row.Clamped, std::clamp(row.Value, 1, 128));
    }
}

TEST_F(TypedExtremesTest, CameraHeightAtTheEndsOfThe32BitRange) {
    const TTyped rows[] = {{"-2147483648", INT32_MIN, "1"},
                           {"-1", -1, "1"},
                           {"0", 0, "1"},
                           {"1", 1, "1"},
                           {"1000", 1000, "1000"},
                           {"1001", 1001, "1000"},
                           {"2147483647", INT32_MAX, "1000"}};
    TSpinEdit* spin = Window->CameraZSpin;
    CursorOnMap(false);
    for (const TTyped& row : rows) {
        SCOPED_TRACE(row.Text);
        TypeInto(spin, row.Text);
        EXPECT_EQ(MainState::CameraZ, row.Value);
        EXPECT_EQ(MainState::HorizonOffset, HorizonOffsetFor(row.Value, 480));
        const std::string error = Tick();
        TProjHeightArray expected{};
        EXPECT_EQ(error, ReferenceProjection(expected));
        if (error.empty()) {
            EXPECT_EQ(MainState::ProjHeightArray, expected);
        }
        EXPECT_EQ(error, row.Value == 0 ? "Floating point division by zero" : "");
        LeaveAndExpect(spin, row.Clamped, std::clamp(row.Value, 1, 1000));
        EXPECT_EQ(Tick(), "");
    }
}

TEST_F(TypedExtremesTest, AngleOutsideTheTableIsTakenModulo360) {
    QTest::mouseClick(Window->CamRotAutoCheck, Qt::LeftButton);
    ASSERT_FALSE(MainState::CamRotAuto);
    const TTyped rows[] = {{"-1", -1, "0"},
                           {"0", 0, "0"},
                           {"359", 359, "359"},
                           {"360", 360, "359"},
                           {"65535", 65535, "359"},
                           {"65536", 65536, "359"},
                           {"2147483647", INT32_MAX, "359"}};
    TSpinEdit* spin = Window->CamRotSpin;
    CursorOnMap(false);
    for (const TTyped& row : rows) {
        SCOPED_TRACE(row.Text);
        TypeInto(spin, row.Text);
        EXPECT_EQ(MainState::CamRot, static_cast<uint16_t>(row.Value));
        EXPECT_EQ(Tick(), "");
        EXPECT_EQ(MainState::CamRot, static_cast<uint16_t>(row.Value)); // no auto-rotation
        TProjHeightArray expected{};
        ASSERT_EQ(ReferenceProjection(expected), "");
        EXPECT_EQ(MainState::ProjHeightArray, expected);
        LeaveAndExpect(spin, row.Clamped, std::clamp(row.Value, 0, 359));
        EXPECT_EQ(MainState::CamRot, std::clamp(row.Value, 0, 359));
    }
}
