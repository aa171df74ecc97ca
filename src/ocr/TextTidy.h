#pragma once

#include <QString>

namespace quillet {

// The engine's text as a person would type it: it puts a space between every two Chinese
// characters and around Chinese punctuation, which no one writes. Those spaces go; spaces
// between Latin words, digits and between Latin and Chinese stay. ASCII punctuation right
// after a Chinese character is the full-width mark the engine took it for. Line breaks stay;
// the blank lines the engine puts between blocks (every line of a loosely spaced dialog is one)
// go, as do trailing blanks and the page's form feed.
QString tidyRecognisedText(const QString& text);

// Characters written without spaces between them: Han ideographs, kana, CJK punctuation and
// full-width forms.
bool isWideScript(char32_t c);

} // namespace quillet
