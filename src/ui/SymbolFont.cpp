#include "ui/SymbolFont.h"

#include "ui/SymbolInk.h"

#include <QHash>
#include <QMutex>
#include <QRawFont>
#include <QStandardPaths>

namespace quillet {

namespace {

// The symbol names the program uses, onto the font's code points. Only the settings window's
// symbols come from the font: the toolbar, menu and pin symbols are drawn by hand to a stroke
// weight that matches the annotation tools, which the font's filled shapes would not.
const QHash<QString, char16_t>& codePoints()
{
    static const QHash<QString, char16_t> table = {
        {QStringLiteral("gearshape.fill"), 0xe8b8}, // settings
        {QStringLiteral("command"), 0xeae7}, // keyboard_command_key
        {QStringLiteral("keyboard"), 0xe312}, {QStringLiteral("lock.shield"), 0xe32a}, // security
        {QStringLiteral("checkmark.seal.fill"), 0xef76}, // verified
        {QStringLiteral("checkmark.circle"), 0xe92d}, // check_circle_outline
        {QStringLiteral("xmark.circle.fill"), 0xe5c9}, // cancel
        {QStringLiteral("exclamationmark.triangle.fill"), 0xe002}, // warning
        {QStringLiteral("viewfinder"), 0xe3c2}, // crop_free
        {QStringLiteral("sun.max"), 0xe518}, // light_mode
        {QStringLiteral("moon.fill"), 0xe51c}, // dark_mode
        {QStringLiteral("paintbrush.pointed"), 0xe3ae}, // brush
        {QStringLiteral("sparkles"), 0xe65f}, // auto_awesome
        {QStringLiteral("square.on.square"), 0xe3e0}, // filter_none
        {QStringLiteral("folder.fill"), 0xe2c7}, // folder
    };
    return table;
}

constexpr auto fontPath = "fonts/truetype/material-design-icons-iconfont/MaterialIcons-Regular.ttf";

// Loaded once, at the grid's own size: the font is designed on the same 24-unit square, so
// its outlines need no scaling. Unhinted, because the area is scaled again for every size.
const QRawFont& symbolFont()
{
    static const QRawFont font = [] {
        const QString file = symbolFontFile();
        return file.isEmpty() ? QRawFont() : QRawFont(file, symbolGrid, QFont::PreferNoHinting);
    }();
    return font;
}

} // namespace

QString symbolFontFile()
{
    return QStandardPaths::locate(
        QStandardPaths::GenericDataLocation, QString::fromLatin1(fontPath));
}

std::optional<QPainterPath> fontSymbolPath(const QString& name)
{
    const auto it = codePoints().constFind(name);
    if (it == codePoints().cend())
        return std::nullopt;
    // QRawFont is not safe to share between threads; icons may be rendered off the GUI thread.
    static QMutex mutex;
    QMutexLocker lock(&mutex);
    const QRawFont& font = symbolFont();
    if (!font.isValid())
        return std::nullopt;
    const QList<quint32> glyphs = font.glyphIndexesForString(QString(QChar(*it)));
    if (glyphs.size() != 1 || glyphs.front() == 0)
        return std::nullopt;
    QPainterPath path = font.pathForGlyph(glyphs.front());
    if (path.isEmpty())
        return std::nullopt;
    // Glyph outlines hang from the baseline, which lies on the grid's bottom edge.
    path.translate(0, font.ascent());
    return path;
}

QStringList fontSymbolNames()
{
    return codePoints().keys();
}

} // namespace quillet
