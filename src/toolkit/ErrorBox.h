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
