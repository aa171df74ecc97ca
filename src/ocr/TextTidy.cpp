#include "ocr/TextTidy.h"

#include <QStringList>

namespace quillet {

bool isWideScript(char32_t c)
{
    return (c >= 0x2E80 && c <= 0x2FDF) // radicals
        || (c >= 0x3000 && c <= 0x30FF) // CJK punctuation, kana
        || (c >= 0x3100 && c <= 0x312F) // bopomofo
        || (c >= 0x31F0 && c <= 0x31FF) // kana extension
        || (c >= 0x3400 && c <= 0x4DBF) // extension A
        || (c >= 0x4E00 && c <= 0x9FFF) // unified ideographs
        || (c >= 0xF900 && c <= 0xFAFF) // compatibility ideographs
        || (c >= 0xFE30 && c <= 0xFE4F) // vertical forms
        || (c >= 0xFF00 && c <= 0xFF60) // full-width forms
        || (c >= 0xFFE0 && c <= 0xFFE6) // full-width signs
        || (c >= 0x20000 && c <= 0x3134F); // extensions B to G
}

namespace {

// Punctuation that carries its own spacing: a gap beside it is never meant.
bool isWidePunctuation(char32_t c)
{
    return (c >= 0x3000 && c <= 0x303F) || (c >= 0xFF01 && c <= 0xFF0F)
        || (c >= 0xFF1A && c <= 0xFF20) || (c >= 0xFF3B && c <= 0xFF40)
        || (c >= 0xFF5B && c <= 0xFF65) || (c >= 0xFE30 && c <= 0xFE4F);
}

// The engine reads the full-width punctuation of Chinese text as its ASCII look-alike.
char32_t fullWidth(char32_t c)
{
    switch (c) {
    case U',':
        return U'，';
    case U':':
        return U'：';
    case U';':
        return U'；';
    case U'?':
        return U'？';
    case U'!':
        return U'！';
    default:
        return c;
    }
}

QString tidyLine(const QString& line)
{
    const QList<uint> cps = line.toUcs4();
    QList<uint> out;
    out.reserve(cps.size());
    for (qsizetype i = 0; i < cps.size(); ++i) {
        char32_t c = cps[i];
        if (!out.isEmpty() && isWideScript(out.last()) && !isWidePunctuation(out.last()))
            c = fullWidth(c);
        if (c == U' ' || c == U'\t') {
            qsizetype j = i;
            while (j < cps.size() && (cps[j] == U' ' || cps[j] == U'\t'))
                ++j;
            const char32_t before = out.isEmpty() ? 0 : char32_t(out.last());
            const char32_t after = j < cps.size() ? char32_t(cps[j]) : 0;
            // Between two wide characters, or beside wide punctuation, the gap is the engine's;
            // a tab or a run of spaces elsewhere is layout, kept as one space.
            const bool engines = (isWideScript(before) && isWideScript(after))
                || isWidePunctuation(before) || isWidePunctuation(after);
            if (!engines && before && after)
                out.append(U' ');
            i = j - 1;
            continue;
        }
        out.append(c);
    }
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(out.constData()), out.size());
}

} // namespace

QString tidyRecognisedText(const QString& text)
{
    QString normal = text;
    normal.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    normal.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    normal.remove(QLatin1Char('\f'));
    QStringList lines;
    for (const QString& raw : normal.split(QLatin1Char('\n'))) {
        const QString line = tidyLine(raw);
        if (!line.isEmpty())
            lines.append(line);
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace quillet
