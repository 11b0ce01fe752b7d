// The modal error box and the text rules of its message and caption.
#pragma once

#include <QString>

#include <string>

// The message with "." appended when it is not empty and its last character's code is above
// that of the full stop.
std::string ErrorBoxText(const std::string& message);

// Title from a program path: file name without folder, cut at its first full stop, every
// character after the first in lower case.
std::string ApplicationTitleFromPath(const std::string& programPath);

// Shows a modal box with the stop icon and one OK button; other windows are disabled meanwhile.
void ShowErrorBox(const QString& text, const QString& caption);

// The ways out of a close whose save failed.
enum class TCloseChoice { SaveAs, Quit, Cancel };

// The box of a close whose save failed, modal like the error box: the stop icon, the text with
// the file's name below it (none when empty), and the buttons Save As... (S), Quit without saving (Q) and Cancel,
// which Escape, Return and closing the box also choose: nothing is lost by a stray key.
TCloseChoice AskAfterFailedClose(const QString& text, const QString& fileName,
                                 const QString& caption);
