#include "output/RecognitionNotice.h"

#include "output/ToastWidget.h"
#include "platform/Geometry.h"
#include "platform/WindowSystem.h"
#include "ui/Accent.h"
#include "ui/Fonts.h"
#include "ui/Icons.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWindow>
#include <cmath>

namespace quillet {

namespace {

constexpr qreal insetX = 14, insetY = 8, spacing = 10, iconSize = 16;
constexpr qreal buttonPadX = 10;
constexpr int spinMs = 80;
// Longer than a toast's 1.6 s: it carries a button the user may want to reach.
constexpr int doneMs = 4000;

QFont textFont()
{
    return uiFont(13, QFont::Medium);
}
QFont hintFont()
{
    return uiFont(12);
}

} // namespace

RecognitionNotice::RecognitionNotice(const Screen& screen)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
    , m_screen(screen)
    , m_text(QStringLiteral("正在识别文字…"))
    , m_hint(QStringLiteral("Esc 取消"))
{
    setWindowTitle(QStringLiteral("墨钉文字识别"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_DeleteOnClose);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    m_spin.setInterval(spinMs);
    connect(&m_spin, &QTimer::timeout, this, [this] {
        m_phase = (m_phase + 1) % 12;
        update();
    });
    m_spin.start();
    m_dismiss.setSingleShot(true);
    m_dismiss.setInterval(doneMs);
    connect(&m_dismiss, &QTimer::timeout, this, &QWidget::close);
    layOut();
    if (screen.qscreen)
        setScreen(screen.qscreen);
    place();
    show();
    raise();
    activateWindow();
    // The closing overlay may still hold the keyboard: ask again once it has let go, unless a
    // window has the keys by then (a new capture opened at once must keep its Esc).
    QTimer::singleShot(250, this, [this] {
        const QWindow* focus = QGuiApplication::focusWindow();
        if (focus && focus != windowHandle())
            return;
        raise();
        activateWindow();
    });
}

void RecognitionNotice::showDone(std::function<void()> pin)
{
    m_done = true;
    m_pin = std::move(pin);
    m_text = QStringLiteral("已复制识别的文字");
    m_hint = QStringLiteral("钉到屏幕");
    m_spin.stop();
    layOut();
    place();
    update();
    m_dismiss.start();
}

void RecognitionNotice::layOut()
{
    const QFontMetricsF fm(textFont()), hm(hintFont());
    const qreal textW = std::ceil(fm.horizontalAdvance(m_text));
    const qreal hintW = std::ceil(hm.horizontalAdvance(m_hint)) + (m_done ? 2 * buttonPadX : 0);
    const qreal h = std::ceil(std::max(fm.height(), hm.height() + 8) + 2 * insetY);
    const qreal w = insetX + iconSize + spacing + textW + spacing + hintW + insetX;
    setFixedSize(int(std::ceil(w)), int(h));
    m_pinBox = QRectF(w - insetX - hintW, insetY - 1, hintW, h - 2 * insetY + 2);
    if (!compositorActive()) {
        QPainterPath capsule;
        capsule.addRoundedRect(QRectF(rect()), h / 2, h / 2);
        setMask(QRegion(capsule.toFillPolygon().toPolygon()));
    }
}

void RecognitionNotice::place()
{
    // Where a toast comes to rest, so the result follows the eye from the same place.
    const QRectF frame = ToastWidget::finalFrameFor(m_screen.visibleFrame, QSizeF(size()));
    const QRectF qt = qtFromGlobal(frame, primaryQtGeometry());
    const QRect target(qRound(qt.x()), qRound(qt.y()), width(), height());
    move(target.topLeft());
    if (isVisible())
        placeWindow(this, target);
}

void RecognitionNotice::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds(rect());
    const qreal r = bounds.height() / 2;
    p.setPen(QPen(white(1.0, 0.15), 0.5));
    p.setBrush(srgb(0.10, 0.10, 0.11, 0.88));
    p.drawRoundedRect(bounds.adjusted(0.25, 0.25, -0.25, -0.25), r - 0.25, r - 0.25);

    const qreal midY = bounds.height() / 2;
    const QRectF icon(insetX, midY - iconSize / 2, iconSize, iconSize);
    if (m_done) {
        if (!drawSymbol(p, QStringLiteral("checkmark.circle.fill"), icon, srgb(0.30, 0.85, 0.45)))
            p.fillRect(icon, srgb(0.30, 0.85, 0.45));
    } else {
        // A ring of twelve dashes, the brightest one going round.
        for (int i = 0; i < 12; ++i) {
            const qreal a = (i * 30.0) * M_PI / 180.0;
            const int age = (m_phase - i + 12) % 12;
            p.setPen(QPen(white(1.0, 1.0 - age * 0.07), 1.6, Qt::SolidLine, Qt::RoundCap));
            const QPointF c = icon.center();
            p.drawLine(c + QPointF(std::sin(a), -std::cos(a)) * 4.0,
                c + QPointF(std::sin(a), -std::cos(a)) * 7.5);
        }
    }

    p.setFont(textFont());
    p.setPen(Qt::white);
    const QFontMetricsF fm(p.font());
    const qreal textX = icon.right() + spacing;
    p.drawText(QPointF(textX, midY - fm.height() / 2 + fm.ascent()), m_text);

    p.setFont(hintFont());
    const QFontMetricsF hm(p.font());
    if (m_done) {
        p.setPen(Qt::NoPen);
        p.setBrush(accent());
        p.drawRoundedRect(m_pinBox, m_pinBox.height() / 2, m_pinBox.height() / 2);
        p.setPen(Qt::white);
    } else {
        p.setPen(white(1.0, 0.55));
    }
    const qreal hintX = m_pinBox.x() + (m_done ? buttonPadX : 0);
    p.drawText(QPointF(hintX, midY - hm.height() / 2 + hm.ascent()), m_hint);
}

void RecognitionNotice::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        if (!m_done && onCancel)
            onCancel();
        close();
        return;
    }
    if (m_done && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        if (m_pin)
            m_pin();
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void RecognitionNotice::mousePressEvent(QMouseEvent* event)
{
    if (!m_done) {
        if (onCancel)
            onCancel();
    } else if (m_pinBox.contains(event->position()) && m_pin) {
        m_pin();
    }
    close();
}

} // namespace quillet
