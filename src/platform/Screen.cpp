#include "platform/Screen.h"

#include "platform/Geometry.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

namespace quillet {

QRectF primaryQtGeometry()
{
    QScreen* primary = QGuiApplication::primaryScreen();
    return primary ? QRectF(primary->geometry()) : QRectF();
}

Screen screenFromQt(QScreen* s)
{
    Screen out;
    if (!s)
        return out;
    const QRectF primary = primaryQtGeometry();
    out.name = s->name();
    out.frame = globalFromQt(QRectF(s->geometry()), primary);
    out.visibleFrame = globalFromQt(QRectF(s->availableGeometry()), primary);
    out.scale = s->devicePixelRatio();
    out.qscreen = s;
    return out;
}

QList<Screen> currentScreens()
{
    QList<Screen> out;
    QScreen* primary = QGuiApplication::primaryScreen();
    if (primary)
        out.append(screenFromQt(primary));
    for (QScreen* s : QGuiApplication::screens()) {
        if (s != primary)
            out.append(screenFromQt(s));
    }
    return out;
}

namespace {
std::function<std::optional<QPoint>()>& pointerSource()
{
    static std::function<std::optional<QPoint>()> source;
    return source;
}
} // namespace

void setPointerSource(std::function<std::optional<QPoint>()> source)
{
    pointerSource() = std::move(source);
}

std::optional<QPointF> knownMouseLocation()
{
    if (!pointerSource())
        return globalFromQt(QPointF(QCursor::pos()), primaryQtGeometry());
    if (const std::optional<QPoint> p = pointerSource()())
        return globalFromQt(QPointF(*p), primaryQtGeometry());
    return std::nullopt;
}

QPointF globalMouseLocation()
{
    // A window system that tells the pointer only to the window under it (Wayland): while none
    // of ours has it, the middle of the main screen stands in for it.
    if (const std::optional<QPointF> p = knownMouseLocation())
        return *p;
    return globalFromQt(primaryQtGeometry().center(), primaryQtGeometry());
}

void warpMouse(QPointF global)
{
    const QPointF q = qtFromGlobal(global, primaryQtGeometry());
    QCursor::setPos(qRound(q.x()), qRound(q.y()));
}

} // namespace quillet
