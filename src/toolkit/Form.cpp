// The top-level form with its handler chain and scrolling client area.
#include "toolkit/Form.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

#include "toolkit/Application.h"

TForm::TForm(QWidget* parent)
    : QScrollArea(parent), FClient(new QWidget), FHooks(std::make_shared<THookChain>(this)) {
    // First, so the messages that setting up the area sends already find a handler.
    WindowProc = [this](QEvent* e) { return DefaultHandler(e); };
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::NoFocus); // the window itself is no stop in the focus order
    setWidgetResizable(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setWidget(FClient);
}

// The views are children and are freed after this: their hooks must find the chain gone.
TForm::~TForm() = default;

bool TForm::CallWindowProc(QEvent* event) {
    return WindowProc ? WindowProc(event) : DefaultHandler(event);
}

bool TForm::DefaultHandler(QEvent* event) {
    return QScrollArea::event(event);
}

// An error leaves the whole handler chain (later hooks are cut short, as with any handler) and
// is shown here, where the message entered, rather than unwinding through Qt's code.
bool TForm::event(QEvent* event) {
    if (FFitFrame && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        FitFrame();
    try {
        return FHooks->Dispatch(event);
    } catch (...) {
        event->ignore(); // refused: a close whose handler failed leaves the window open
        Application->HandleException(std::current_exception());
        return true;
    }
}

std::weak_ptr<TForm::THookChain> TForm::Hooks() const {
    return FHooks;
}

TForm::THookChain::THookChain(TForm* form) : FForm(form) {}

int TForm::THookChain::Add(THookMethod handler) {
    FLinks.push_back(std::make_unique<TLink>(TLink{FNextKey, std::move(handler), {}}));
    Relink();
    return FNextKey++;
}

void TForm::THookChain::Remove(int key) {
    std::erase_if(FLinks, [key](const std::unique_ptr<TLink>& link) { return link->Key == key; });
    Relink();
}

void TForm::THookChain::Relink() {
    TForm* form = FForm;
    for (size_t i = 0; i < FLinks.size(); ++i) {
        if (i == 0) {
            FLinks[i]->Previous = [form](QEvent* e) { return form->CallWindowProc(e); };
        } else {
            TLink* below = FLinks[i - 1].get();
            FLinks[i]->Previous = [below](QEvent* e) { return below->Handler(e, below->Previous); };
        }
    }
}

bool TForm::THookChain::Dispatch(QEvent* event) {
    if (FLinks.empty()) return FForm->CallWindowProc(event);
    TLink& head = *FLinks.back();
    return head.Handler(event, head.Previous);
}

QWidget* TForm::Client() const {
    return FClient;
}

void TForm::SetClientSize(int width, int height) {
    FClient->setFixedSize(width, height);
    resize(width, height);
}

void TForm::PlaceOnScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QRect area = screen->availableGeometry();
    if (width() <= area.width() && height() <= area.height()) {
        move(area.center() - rect().center());
        return;
    }
    // A position set before the show places the frame, so its title bar is on the screen.
    move(area.topLeft());
    resize(std::min(width(), area.width()), std::min(height(), area.height()));
    FFitFrame = true;
}

void TForm::FitFrame() {
    const QSize frame = frameGeometry().size() - size();
    if (frame.isNull() || screen() == nullptr) return; // no frame yet
    FFitFrame = false;
    const QRect area = screen()->availableGeometry();
    resize(std::min(width(), area.width() - frame.width()),
           std::min(height(), area.height() - frame.height()));
}

void TForm::Close() {
    close();
}
