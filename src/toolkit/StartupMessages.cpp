// The start-up message handler: held warnings, and one line and _exit for a fatal message.
#include "toolkit/StartupMessages.h"

#include <QString>
#include <QtGlobal>

#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <vector>

namespace {

struct THeld {
    QtMsgType Type;
    QByteArray Category;
    QString Text;
};

// The handler is a plain function: what it needs lives here while one is installed.
std::mutex Lock;
bool Installed = false;
QtMessageHandler Previous = nullptr;
std::string What;
int ExitCode = 1;
bool ListPlatforms = false;
std::vector<THeld> Held;

// The platforms the toolkit lists in its fatal text ("Available platform plugins are: a, b."),
// or "" when it lists none.
QString PlatformsListed(const QString& text) {
    const QString mark = QStringLiteral("Available platform plugins are: ");
    const qsizetype at = text.indexOf(mark);
    if (at < 0) return {};
    QString list = text.mid(at + mark.size()).section(QLatin1Char('\n'), 0, 0).trimmed();
    if (list.endsWith(QLatin1Char('.'))) list.chop(1);
    return list;
}

void Handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    std::lock_guard guard(Lock);
    if (type != QtFatalMsg) {
        Held.push_back({type, QByteArray(context.category), text});
        return;
    }
    std::string line = "voxel: " + What;
    if (const QString platforms = ListPlatforms ? PlatformsListed(text) : QString();
        !platforms.isEmpty())
        line += " (the toolkit has: " + platforms.toStdString() + ")";
    line += ".\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    // The toolkit aborts once a fatal message's handler returns; nothing is open to save yet.
    _exit(ExitCode);
}

} // namespace

TStartupMessages::TStartupMessages(std::string what, int exitCode, bool listPlatforms) {
    std::lock_guard guard(Lock);
    What = std::move(what);
    ExitCode = exitCode;
    ListPlatforms = listPlatforms;
    Held.clear();
    Installed = true;
    Previous = qInstallMessageHandler(Handle);
}

TStartupMessages::~TStartupMessages() {
    Done();
}

void TStartupMessages::Done() {
    std::vector<THeld> held;
    {
        std::lock_guard guard(Lock);
        if (!Installed) return;
        Installed = false;
        qInstallMessageHandler(Previous);
        held.swap(Held);
    }
    for (const THeld& message : held) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.Category.constData());
        qt_message_output(message.Type, context, message.Text);
    }
}
