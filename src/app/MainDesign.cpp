// The main window's design: controls, captions, positions, ranges, fonts, focus order, and
// the binding of every handler. Designed sizes are replaced by FormCreate.
#include "app/Main.h"
#include "app/FieldPaste.h"
#include "app/WindowKeys.h"
#include "util/Exceptions.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/Parameters.h"
#include "toolkit/Application.h"
#include "toolkit/CircleCursor.h"
#include "toolkit/TipBelow.h"
#include "toolkit/WheelNotches.h"

#include <vector>

namespace {
// A bold face that shows the Hangul captions, at a pixel height.
QFont BoldFont(int pixelHeight) {
    QFont font(QStringLiteral("NanumGothic"));
    font.setPixelSize(pixelHeight);
    font.setBold(true);
    return font;
}

template <class T> T* Place(T* control, QWidget* parent, int left, int top, int width, int height) {
    control->setParent(parent);
    control->setGeometry(left, top, width, height);
    return control;
}

TSpinEdit* MakeSpin(QWidget* parent, int top, int32_t min, int32_t max, int32_t value) {
    auto* spin = Place(new TSpinEdit, parent, 96, top, 73, 22);
    spin->setFont(BoldFont(12));
    spin->SetMinValue(min);
    spin->SetMaxValue(max);
    spin->SetValue(value);
    return spin;
}

QCheckBox* MakeCheck(QWidget* parent, int top, const QString& caption, bool checked) {
    auto* check = Place(new QCheckBox(caption), parent, 8, top, 161, 17);
    check->setLayoutDirection(Qt::RightToLeft); // text left of the box
    check->setChecked(checked);
    return check;
}
} // namespace

void TMain::CreateDesign() {
    setWindowTitle(QStringLiteral("Voxel 기초 - by Tessmir"));
    setFont(BoldFont(13));
    QWidget* client = Client();
    client->setFont(BoldFont(13));
    SetClientSize(305, 401);

    // Created in this order so DXScreen hooks the form first and initialises first.
    DXScreen = Place(new TDXDraw(client), client, 16, 16, 137, 97);
    DXMap = Place(new TDXDraw(client), client, 160, 16, 137, 97);
    for (TDXDraw* view : {DXScreen, DXMap}) view->setFocusPolicy(Qt::NoFocus);

    CommandPanel = Place(new QWidget, client, 16, 120, 281, 265);
    QWidget* panel = CommandPanel;
    Label1 = Place(new QLabel(QStringLiteral("브러시 반경")), panel, 8, 8, 80, 16);
    Label2 = Place(new QLabel(QStringLiteral("카메라 높이")), panel, 8, 32, 80, 16);
    Label3 = Place(new QLabel(QStringLiteral("변화 억제")), panel, 8, 56, 65, 16);
    Label4 = Place(new QLabel(QStringLiteral("카메라 각도")), panel, 8, 80, 80, 16);

    BrushRangeMinSpin = MakeSpin(panel, 8, 1, 200, 50);
    CameraZSpin = MakeSpin(panel, 32, 1, 1000, 1);
    HeightArrayDivSpin = MakeSpin(panel, 56, 1, 128, 1);
    CamRotSpin = MakeSpin(panel, 80, 0, 359, 0);
    CamRotSpin->setEnabled(false);

    WaitCursorMoveCheck = MakeCheck(panel, 120, QStringLiteral("마우스 이동 기다림"), false);
    CamRotAutoCheck = MakeCheck(panel, 144, QStringLiteral("카메라 자동회전"), true);

    BrushModeBox = Place(new QGroupBox(QStringLiteral(" 붓  ")), panel, 72, 168, 97, 81);
    BrushModeBox->setFocusPolicy(Qt::NoFocus);
    BrushModeItems = new QButtonGroup(BrushModeBox);
    auto* items = new QVBoxLayout(BrushModeBox);
    items->setContentsMargins(8, 2, 4, 4);
    items->setSpacing(0);
    const QString captions[] = {QStringLiteral("가우시안"), QStringLiteral("삼각"),
                                QStringLiteral("사각")};
    for (int i = 0; i < 3; ++i) {
        auto* item = new QRadioButton(captions[i], BrushModeBox);
        items->addWidget(item);
        BrushModeItems->addButton(item, i);
    }
    BrushModeItems->button(0)->setChecked(true);

    InitBtn = Place(new QPushButton(QStringLiteral("초기화")), panel, 192, 8, 75, 25);
    MeanBtn = Place(new QPushButton(QStringLiteral("평준화")), panel, 192, 40, 75, 25);
    NoiseBtn = Place(new QPushButton(QStringLiteral("잡음")), panel, 192, 72, 75, 25);
    AutoBtn = Place(new QPushButton(QStringLiteral("자동생성")), panel, 192, 104, 75, 25);
    ExitBtn = Place(new QPushButton(QStringLiteral("끝내기")), panel, 192, 184, 75, 25);
    // Right of the buttons, below the map: it covers no control and neither view.
    NoticeLabel = Place(new QLabel, panel, 280, 8, 368, 249);
    NoticeLabel->setObjectName(QStringLiteral("NoticeLabel"));
    NoticeLabel->setTextFormat(Qt::PlainText);
    NoticeLabel->setWordWrap(true);
    NoticeLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    NoticeLabel->setFrameShape(QFrame::StyledPanel);
    NoticeLabel->setMargin(4);
    NoticeLabel->setFont(BoldFont(12));
    NoticeLabel->hide();
    for (QPushButton* idle : {MeanBtn, NoiseBtn, AutoBtn}) idle->setEnabled(false);
    for (QPushButton* button : {InitBtn, MeanBtn, NoiseBtn, AutoBtn, ExitBtn})
        button->setAutoDefault(false);

    // Keyboard focus order; Qt skips the disabled controls.
    QWidget* order[] = {InitBtn,
                        AutoBtn,
                        ExitBtn,
                        BrushRangeMinSpin,
                        MeanBtn,
                        NoiseBtn,
                        CameraZSpin,
                        WaitCursorMoveCheck,
                        BrushModeItems->button(0),
                        BrushModeItems->button(1),
                        BrushModeItems->button(2),
                        HeightArrayDivSpin,
                        CamRotSpin,
                        CamRotAutoCheck};
    for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
    InitBtn->setFocus();

    // Object names as in the design, for diagnostics and tests.
    const std::pair<QObject*, const char*> names[] = {
        {DXScreen, "DXScreen"}, {DXMap, "DXMap"}, {CommandPanel, "CommandPanel"},
        {Label1, "Label1"}, {Label2, "Label2"}, {Label3, "Label3"}, {Label4, "Label4"},
        {BrushRangeMinSpin, "BrushRangeMinSpin"}, {CameraZSpin, "CameraZSpin"},
        {HeightArrayDivSpin, "HeightArrayDivSpin"}, {CamRotSpin, "CamRotSpin"},
        {WaitCursorMoveCheck, "WaitCursorMoveCheck"}, {CamRotAutoCheck, "CamRotAutoCheck"},
        {BrushModeBox, "BrushModeBox"}, {InitBtn, "InitBtn"}, {MeanBtn, "MeanBtn"},
        {NoiseBtn, "NoiseBtn"}, {AutoBtn, "AutoBtn"}, {ExitBtn, "ExitBtn"}};
    for (auto [object, name] : names) object->setObjectName(QString::fromLatin1(name));

    // What each control means, in English; a label and its spin say the same.
    const std::pair<std::vector<QWidget*>, const char*> tips[] = {
        {{Label1, BrushRangeMinSpin}, "Brush radius in cells, 1 to 200 (mouse wheel over the map: "
                                      "1 per notch, 10 with Shift)"},
        {{Label2, CameraZSpin}, "Camera height, 1 to 1000"},
        {{Label3, HeightArrayDivSpin}, "Change damping: every brush change is divided by this, "
                                       "1 to 128"},
        {{Label4, CamRotSpin}, "Camera angle in degrees, editable while the rotation is off"},
        {{WaitCursorMoveCheck}, "Wait for mouse movement: edit only on frames where the cursor "
                                "moved diagonally"},
        {{CamRotAutoCheck}, "Automatic camera rotation: one degree per frame"},
        {{BrushModeBox}, "Brush shape"},
        {{BrushModeItems->button(0)}, "Brush shape: Gaussian"},
        {{BrushModeItems->button(1)}, "Brush shape: triangle"},
        {{BrushModeItems->button(2)}, "Brush shape: square"},
        {{InitBtn}, "Reset: clear the whole field to the lowest ground (Ctrl+Z undoes it)"},
        {{MeanBtn}, "Level out: available with --tools"},
        {{NoiseBtn}, "Noise: available with --tools"},
        {{AutoBtn}, "Generate automatically: available with --tools"},
        {{ExitBtn}, "Quit: save the field to the map file and close (Ctrl+S saves without "
                    "closing, Ctrl+Shift+S saves to another file)"}};
    for (const auto& [controls, tip] : tips)
        for (QWidget* control : controls) control->setToolTip(QString::fromLatin1(tip));

    DXTimer = new TDXTimer(this);
    DXTimer->SetActiveOnly(false);
    DXTimer->SetInterval(0);
}

// Handlers are bound after the designed states are in place, so none runs for them. Slots are
// guarded: their errors are shown where Qt calls them instead of unwinding through Qt.
void TMain::ConnectHandlers() {
    // Over the map view: the brush's reach as the cursor, its radius on the wheel.
    FBrushCursor = new TCircleCursor(DXMap, BrushRangeMinSpin->MinValue(),
                                     BrushRangeMinSpin->MaxValue());
    FBrushCursor->SetRadius(BrushRangeMinSpin->Value());
    new TWheelNotches(DXMap, Guarded([this](int notches, Qt::KeyboardModifiers modifiers) {
        BrushRangeMinSpin->Step(notches * (modifiers & Qt::ShiftModifier ? 10 : 1));
    }));
    // Below the map, where it covers neither the field nor the place under the cursor.
    new TTipBelow(DXMap, QStringLiteral(
                             "Map: the left button raises, the right lowers; the wheel sets the "
                             "brush radius (Shift: 10 a notch)\n"
                             "Ctrl+Z undo, Ctrl+Y or Ctrl+Shift+Z redo, Ctrl+S save, "
                             "Ctrl+Shift+S save as\n"
                             "Ctrl+C copy the field, Ctrl+Shift+C copy the landscape, Ctrl+V "
                             "paste a picture (or drop one)"));
    BrushRangeMinSpin->OnChange = [this] {
        BrushRangeMinSpinChange();
        FBrushCursor->SetRadius(BrushRangeMinSpin->Value());
    };
    CameraZSpin->OnChange = [this] { CameraZSpinChange(); };
    HeightArrayDivSpin->OnChange = [this] { HeightArrayDivSpinChange(); };
    CamRotSpin->OnChange = [this] { CamRotSpinChange(); };
    connect(WaitCursorMoveCheck, &QCheckBox::clicked, this, Guarded([this] { WaitCursorMoveCheckClick(); }));
    connect(CamRotAutoCheck, &QCheckBox::clicked, this, Guarded([this] { CamRotAutoCheckClick(); }));
    connect(BrushModeItems, &QButtonGroup::idToggled, this, Guarded([this](int, bool checked) {
                if (checked) BrushModeBoxClick();
            }));
    connect(InitBtn, &QPushButton::clicked, this, Guarded([this] { InitBtnClick(); }));
    connect(ExitBtn, &QPushButton::clicked, this, Guarded([this] { ExitBtnClick(); }));
    DXScreen->OnInitialize = [this](QObject* sender) { DXScreenInitialize(sender); };
    DXMap->OnInitialize = [this](QObject* sender) { DXMapInitialize(sender); };
    DXTimer->OnTimer = [this](QObject* sender, int32_t lag) { DXTimerTimer(sender, lag); };
    const auto ctrl = Qt::ControlModifier;
    const auto ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;
    FKeys = new TWindowKeys(this, {{ctrl | Qt::Key_Z, [this] { UndoEdit(); }},
                                   {ctrlShift | Qt::Key_Z, [this] { RedoEdit(); }},
                                   {ctrl | Qt::Key_Y, [this] { RedoEdit(); }},
                                   {ctrl | Qt::Key_S, [this] { SaveField(); }},
                                   {ctrlShift | Qt::Key_S, [this] { SaveFieldAs(); }},
                                   {ctrl | Qt::Key_C, [this] { CopyField(); }, true},
                                   {ctrl | Qt::Key_V, [this] { PasteField(); }, true},
                                   {ctrlShift | Qt::Key_C, [this] { CopyScreen(); }}});
    FKeys->setParent(this);
    FPaste = new TFieldPaste(
        this, Guarded([this](const THeightArray& field) { TakeField(field); }),
        [](const std::string& message) {
            Application->HandleException(std::make_exception_ptr(Exception(message)));
        });
    FFetch = new TSelectionFetch(
        this, Guarded([this](const TSelectionFetch::TResult& result) { Fetched(result); }));
    setAcceptDrops(true);
}

int TMain::BrushModeItemIndex() const { return BrushModeItems->checkedId(); }

void TMain::SetBrushModeItemIndex(int index) {
    if (QAbstractButton* item = BrushModeItems->button(index)) item->setChecked(true);
}
