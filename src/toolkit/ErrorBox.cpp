// The modal error box and the text rules of its message and caption.
#include "toolkit/ErrorBox.h"

#include <QMessageBox>
#include <QPushButton>

std::string ErrorBoxText(const std::string& message) {
    // Compared as a character code, so "!" and "," (below '.') get no full stop but "?" does.
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.') return message + '.';
    return message;
}

std::string ApplicationTitleFromPath(const std::string& programPath) {
    QString name = QString::fromStdString(programPath);
    name = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype stop = name.indexOf(QLatin1Char('.'));
    if (stop >= 0) name.truncate(stop);
    if (name.isEmpty()) return {};
    const qsizetype first = name.at(0).isHighSurrogate() && name.size() > 1 ? 2 : 1;
    return (name.left(first) + name.mid(first).toLower()).toStdString();
}

void ShowErrorBox(const QString& text, const QString& caption) {
    // No parent: the box must survive whatever window raised the error being destroyed meanwhile.
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

TCloseChoice AskAfterFailedClose(const QString& text, const QString& fileName,
                                 const QString& caption) {
    QMessageBox box(QMessageBox::Critical, caption, text,
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    box.setInformativeText(fileName);
    box.button(QMessageBox::Save)->setText(QStringLiteral("&Save As..."));
    box.button(QMessageBox::Discard)->setText(QStringLiteral("&Quit without saving"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("Cancel"));
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    QAbstractButton* chosen = box.clickedButton();
    if (chosen == box.button(QMessageBox::Save)) return TCloseChoice::SaveAs;
    if (chosen == box.button(QMessageBox::Discard)) return TCloseChoice::Quit;
    return TCloseChoice::Cancel;
}
