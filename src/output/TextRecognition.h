#pragma once

#include "platform/Screen.h"

#include <QImage>
#include <QString>
#include <optional>

namespace quillet {
class OcrWorker;
class RecognitionNotice;
} // namespace quillet

namespace quillet::TextRecognition {

// Why recognition cannot run here, in one line for a tip or a message; nothing when it can.
std::optional<QString> unavailable();

// True while a recognition runs.
bool busy();

// True when a recognition can start now. Otherwise beeps, and names the missing language data
// in a toast when that is the reason.
bool ready(std::optional<Screen> screen = std::nullopt);

// Recognises the text of `image` (its devicePixelRatio() gives pixels per point) off the main
// thread. A notice shows on `screen` until the result comes, and Esc on it cancels. Text found
// goes to the clipboard as plain text, announced by a notice that offers it as a pin; no text
// is announced by a toast and leaves the clipboard alone. False, with a beep, while another
// recognition runs or when the language data is missing.
bool start(const QImage& image, std::optional<Screen> screen = std::nullopt);

// Ends the running recognition without a result.
void cancel();

// The worker behind start(), and the notice on screen (null when none), for tests.
OcrWorker& worker();
RecognitionNotice* notice();

} // namespace quillet::TextRecognition
