#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace kelmor {

// The program's one failure message: the text, an exclamation icon, one OK button, the
// title "Monitor_Kelmor". Tests install a handler so that nothing ever blocks.
using FailureMessageHandler = std::function<void(QWidget *parent, const QString &text)>;

void showFailureMessage(QWidget *parent, const QString &text);

// Replaces the handler (an empty one restores the message box); returns the previous.
FailureMessageHandler setFailureMessageHandler(FailureMessageHandler handler);

inline constexpr char kApplicationTitle[] = "Monitor_Kelmor";

} // namespace kelmor
