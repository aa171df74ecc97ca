#pragma once

#include <QString>

namespace quillet {

// The engine's text as a person would type it: it puts a space between every two Chinese
// characters and around Chinese punctuation, which no one writes. Those spaces go; spaces
// between Latin words, digits and between Latin and Chinese stay. Line breaks stay, a run of
// blank lines becomes one; trailing blanks and the page's form feed go.
QString tidyRecognisedText(const QString& text);

// Characters written without spaces between them: Han ideographs, kana, CJK punctuation and
// full-width forms.
bool isWideScript(char32_t c);

} // namespace quillet
