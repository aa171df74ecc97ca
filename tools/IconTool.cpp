// Build-time helper: renders the application icon's SVG to the PNG sizes the icon theme wants,
// and writes the tray's symbolic icon from the program's own glyph, so nothing installed is a
// hand-made copy that could drift from its source.
//
//   quillet_icon_tool png SOURCE.svg SIZE OUT.png
//   quillet_icon_tool symbolic OUT.svg

#include "ui/AppIcons.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

using namespace quillet;

namespace {

int fail(const char* what, const QString& detail)
{
    std::fprintf(stderr, "quillet_icon_tool: %s: %s\n", what, detail.toLocal8Bit().constData());
    return 1;
}

int renderPng(const QString& source, int size, const QString& out)
{
    QSvgRenderer svg(source);
    if (!svg.isValid())
        return fail("not a readable SVG", source);
    if (size < 1 || size > 4096)
        return fail("bad size", QString::number(size));
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        svg.render(&p, QRectF(0, 0, size, size));
    }
    if (!image.convertToFormat(QImage::Format_ARGB32).save(out, "PNG"))
        return fail("cannot write", out);
    return 0;
}

QString svgPathData(const QPainterPath& path)
{
    QString d;
    auto num = [](qreal v) { return QString::number(v, 'f', 3); };
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        switch (e.type) {
        case QPainterPath::MoveToElement:
            d += QStringLiteral("M%1 %2").arg(num(e.x), num(e.y));
            break;
        case QPainterPath::LineToElement:
            d += QStringLiteral("L%1 %2").arg(num(e.x), num(e.y));
            break;
        case QPainterPath::CurveToElement: {
            const QPainterPath::Element c2 = path.elementAt(i + 1);
            const QPainterPath::Element to = path.elementAt(i + 2);
            d += QStringLiteral("C%1 %2 %3 %4 %5 %6")
                     .arg(num(e.x), num(e.y), num(c2.x), num(c2.y), num(to.x), num(to.y));
            i += 2;
            break;
        }
        case QPainterPath::CurveToDataElement:
            break;
        }
    }
    return d;
}

int writeSymbolic(const QString& out)
{
    const TrayGlyph glyph = trayGlyph();
    if (glyph.ink.isEmpty())
        return fail("the tray glyph is empty", out);
    const QString rule = glyph.halo.fillRule() == Qt::WindingFill ? QStringLiteral("nonzero")
                                                                  : QStringLiteral("evenodd");
    const QString inkRule = glyph.ink.fillRule() == Qt::WindingFill ? QStringLiteral("nonzero")
                                                                    : QStringLiteral("evenodd");
    const QString text
        = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"24\" height=\"24\" "
                         "viewBox=\"0 0 24 24\">\n"
                         "  <path fill=\"%1\" fill-rule=\"%2\" d=\"%3\"/>\n"
                         "  <path fill=\"%4\" fill-rule=\"%5\" d=\"%6\"/>\n"
                         "</svg>\n")
              .arg(QColor::fromRgba(trayGlyphHalo).name(), rule, svgPathData(glyph.halo),
                  QColor::fromRgba(trayGlyphInk).name(), inkRule, svgPathData(glyph.ink));
    QFile f(out);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(text.toUtf8()) < 0)
        return fail("cannot write", out);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 4 && args[0] == QLatin1String("png"))
        return renderPng(args[1], args[2].toInt(), args[3]);
    if (args.size() == 2 && args[0] == QLatin1String("symbolic"))
        return writeSymbolic(args[1]);
    std::fputs("usage: quillet_icon_tool png SOURCE.svg SIZE OUT.png | symbolic OUT.svg\n", stderr);
    return 2;
}
