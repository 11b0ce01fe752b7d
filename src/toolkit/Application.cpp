// The application object: our own message loop over Qt's event dispatcher, the idle step,
// the quit request, activation notices and the top-level error handler.
#include "toolkit/Application.h"

#include <QAbstractEventDispatcher>
#include <QEvent>

#include <cstdio>

#include "toolkit/ErrorBox.h"
#include "util/Exceptions.h"

TApplication* Application = nullptr;

namespace {

QEvent::Type QuitRequestType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

} // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    Application = this;
    // Closing the last window must not end anything behind the loop's back: only the quit
    // request does.
    setQuitOnLastWindowClosed(false);
    // Only changes between active and not are notices (inactive, hidden and suspended are all
    // "not").
    connect(this, &QGuiApplication::applicationStateChanged, this,
            [this, wasActive = false](Qt::ApplicationState state) mutable {
                const bool active = state == Qt::ApplicationActive;
                if (active == wasActive) return;
                wasActive = active;
                // A copy, so a handler may subscribe or unsubscribe while the notice goes round.
                const auto handlers = FActivationHandlers;
                for (const auto& entry : handlers) {
                    try {
                        entry.second(active);
                    } catch (...) {
                        HandleException(std::current_exception());
                    }
                }
            });
}

TApplication::~TApplication() {
    if (Application == this) Application = nullptr;
}

void TApplication::SetOnIdle(TIdleEvent handler) {
    FOnIdle = std::move(handler);
}

const TApplication::TIdleEvent& TApplication::OnIdle() const {
    return FOnIdle;
}

void TApplication::Run() {
    while (!FTerminated) {
        try {
            HandleMessage();
        } catch (...) {
            HandleException(std::current_exception());
        }
    }
}

void TApplication::HandleMessage() {
    if (!ProcessMessage()) Idle();
}

bool TApplication::ProcessMessage() {
    return QAbstractEventDispatcher::instance(thread())->processEvents(QEventLoop::AllEvents);
}

void TApplication::Idle() {
    // Objects released with deleteLater outside any handler are only freed when asked for.
    sendPostedEvents(nullptr, QEvent::DeferredDelete);
    bool done = true;
    if (FOnIdle) {
        // A copy: the handler may replace or empty the slot while it runs.
        const TIdleEvent handler = FOnIdle;
        try {
            handler(done);
        } catch (...) {
            HandleException(std::current_exception());
        }
    }
    if (done)
        QAbstractEventDispatcher::instance(thread())->processEvents(QEventLoop::WaitForMoreEvents);
}

void TApplication::Terminate() {
    FQuitAsked = true;
    postEvent(this, new QEvent(QuitRequestType()));
}

bool TApplication::Terminated() const {
    return FTerminated;
}

bool TApplication::Active() const {
    return applicationState() == Qt::ApplicationActive;
}

int TApplication::AddActivationHandler(TActivationEvent handler) {
    const int id = FNextActivationId++;
    FActivationHandlers.emplace_back(id, std::move(handler));
    return id;
}

void TApplication::RemoveActivationHandler(int id) {
    std::erase_if(FActivationHandlers, [id](const auto& entry) { return entry.first == id; });
}

QString TApplication::Title() const {
    return QString::fromStdString(ApplicationTitleFromPath(applicationFilePath().toStdString()));
}

namespace {

// The box's text for an error; false for EAbort, which shows nothing.
bool ErrorText(std::exception_ptr error, QString& text) {
    try {
        std::rethrow_exception(error);
    } catch (const EAbort&) {
        return false;
    } catch (const std::exception& e) {
        text = QString::fromStdString(ErrorBoxText(e.what()));
    } catch (...) {
        text = QString::fromStdString(ErrorBoxText("Unknown error"));
    }
    return true;
}

} // namespace

void TApplication::HandleException(std::exception_ptr error) {
    QString text;
    if (!error || !ErrorText(error, text)) return;
    if (Ending()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(Title()), qPrintable(text));
        return;
    }
    ++FErrorBoxCount;
    ShowErrorBox(text, Title());
}

TCloseChoice TApplication::AskAfterFailedClose(std::exception_ptr error,
                                               const QString& fileName) {
    QString text;
    if (!error || !ErrorText(error, text)) return TCloseChoice::Cancel;
    if (Ending()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(Title()), qPrintable(text));
        return TCloseChoice::Cancel;
    }
    ++FErrorBoxCount;
    // Named once: a message that names the file already needs no second line of it.
    return ::AskAfterFailedClose(text, text.contains(fileName) ? QString() : fileName, Title());
}

int TApplication::ErrorBoxCount() const {
    return FErrorBoxCount;
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        // The handler was cut short: the event counts as refused (a failed close keeps the window).
        event->ignore();
        HandleException(std::current_exception());
        return false;
    }
}

bool TApplication::event(QEvent* event) {
    if (event->type() == QuitRequestType()) {
        FTerminated = true;
        return true;
    }
    return QApplication::event(event);
}
