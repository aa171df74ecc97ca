// The toolbar: the eight tools, long capture, text recognition, pin and OK, floating next to
// the selection.
#include "capture/annotation/Annotator.h"
#include "capture/annotation/AnnotatorPrivate.h"
#include "output/TextRecognition.h"
#include "platform/Geometry.h"
#include "ui/Icons.h"

#include <QHBoxLayout>
#include <algorithm>

namespace quillet {

namespace {

constexpr int toolbarAppearMs = 200;

QRect widgetRect(const QRectF& view, qreal viewHeight)
{
    const QRectF w = widgetFromView(view, viewHeight);
    return QRect(qRound(w.x()), qRound(w.y()), qRound(w.width()), qRound(w.height()));
}

} // namespace

void Annotator::buildToolbar()
{
    auto* panel = new GlassPanel(m_host.hostWidget());
    d->toolButtons.clear();
    for (size_t i = 0; i < allTools.size(); ++i) {
        const Tool t = allTools[i];
        auto* b = new ToolButton(QString::fromLatin1(toolSymbol(t)),
            toolTip(t) + QStringLiteral("  ") + QString::number(i + 1), panel);
        b->setTag(int(t));
        b->setFixedWidth(32);
        connect(b, &QAbstractButton::clicked, this, [this, t] { selectTool(t); });
        panel->row()->addWidget(b);
        d->toolButtons.append(b);
    }
    panel->addDivider();

    // The selection is the window a long capture looks through.
    const QString noLong = m_host.hostLongCaptureUnavailable();
    auto* longShot = new ToolButton(QStringLiteral("long.capture"),
        noLong.isEmpty() ? QStringLiteral("长截图  L") : noLong, panel);
    longShot->setFixedWidth(32);
    longShot->setEnabled(noLong.isEmpty());
    longShot->setAccessibleName(QStringLiteral("长截图"));
    connect(
        longShot, &QAbstractButton::clicked, this, [this] { m_host.hostLongCapture(); },
        Qt::QueuedConnection);
    panel->row()->addWidget(longShot);

    auto* recognise
        = new ToolButton(QStringLiteral("text.viewfinder"), QStringLiteral("识别文字  O"), panel);
    recognise->setFixedWidth(32);
    if (const std::optional<QString> missing = TextRecognition::unavailable()) {
        recognise->setEnabled(false);
        recognise->setToolTip(*missing);
    }
    // Queued for the reason the pin button is: the capture closes under the button.
    connect(
        recognise, &QAbstractButton::clicked, this,
        [this] {
            if (m_host.hostSelected())
                m_host.hostRecogniseText();
        },
        Qt::QueuedConnection);
    panel->row()->addWidget(recognise);

    auto* pin = new ToolButton(QStringLiteral("pin"), QStringLiteral("钉在屏幕上"), panel);
    pin->setFixedWidth(32);
    // Queued: pinning may end the capture, and with it this toolbar, under the button's feet.
    connect(
        pin, &QAbstractButton::clicked, this,
        [this] {
            if (m_host.hostSelected())
                m_host.hostPinSelection();
        },
        Qt::QueuedConnection);
    panel->row()->addWidget(pin);
    panel->row()->addSpacing(2); // with the row's spacing either side: a gap of 6

    auto* ok = new ToolButton(QString(), QStringLiteral("复制并完成 ↩"), panel);
    ok->setFixedWidth(70);
    if (hasSymbol(QStringLiteral("checkmark")))
        ok->setTitle(QStringLiteral("checkmark"), QStringLiteral(" 完成"));
    else
        ok->setTitle(QString(), QStringLiteral("✓ 完成"));
    ok->setProminent(true);
    connect(
        ok, &QAbstractButton::clicked, this, [this] { m_host.hostCopyAndFinish(); },
        Qt::QueuedConnection);
    panel->row()->addWidget(ok);

    d->toolbar = panel;
    refreshToolbar();
}

void Annotator::showToolbar()
{
    if (!d->toolbar)
        buildToolbar();
    GlassPanel* panel = d->toolbar;
    const QSize size = panel->panelSize();
    const qreal w = size.width(), h = size.height();
    const QRectF s = m_host.hostSelection();
    const QRectF b = m_host.hostBounds();

    qreal x = std::max(maxX(s) - w, barScreenInset);
    x = std::min(x, maxX(b) - w - barScreenInset);
    qreal y = minY(s) - h - barGap;
    if (y - subbarRoom >= barScreenInset) {
        m_toolbarBelow = true;
    } else {
        y = maxY(s) + barGap;
        m_toolbarBelow = false;
        if (y + h + subbarRoom > maxY(b) - barScreenInset) {
            // No room above either: inside the selection, along its bottom edge.
            y = minY(s) + barGap;
            m_toolbarBelow = true;
        }
    }
    d->toolbarFrame = QRectF(x, y, w, h);
    const QRect target = widgetRect(d->toolbarFrame, b.height());
    if (panel->isHidden() || panel->isAppearing()) {
        // Slides in from 8 points above when it sits below, from below otherwise (y down here).
        panel->appear(target, QPoint(0, m_toolbarBelow ? -8 : 8), toolbarAppearMs);
    } else {
        panel->setPanelGeometry(target);
    }
    updateSubbar(true);
}

void Annotator::hideBars()
{
    if (d->toolbar)
        d->toolbar->hide();
    if (d->subbar)
        d->subbar->hide();
}

bool Annotator::toolbarVisibleAt(QPointF p) const
{
    if (!d->toolbar || d->toolbar->isHidden())
        return false;
    const QRectF frame
        = viewFromWidget(QRectF(d->toolbar->panelGeometry()), m_host.hostBounds().height());
    return containsPoint(frame, p);
}

QWidget* Annotator::toolbar() const
{
    return d->toolbar;
}
QWidget* Annotator::subbar() const
{
    return d->subbar;
}
QRectF Annotator::toolbarFrame() const
{
    return d->toolbar ? d->toolbarFrame : QRectF();
}
QRectF Annotator::subbarFrame() const
{
    return d->subbar ? d->subbarFrame : QRectF();
}
std::optional<Tool> Annotator::subbarKind() const
{
    return d->subbarKind;
}
QList<ToolButton*> Annotator::toolButtons() const
{
    return d->toolButtons;
}
QList<ToolButton*> Annotator::colorButtons() const
{
    return d->colorButtons;
}
QList<ToolButton*> Annotator::widthButtons() const
{
    return d->widthButtons;
}
QList<ToolButton*> Annotator::styleButtons() const
{
    return d->styleButtons;
}
QList<ToolButton*> Annotator::mosaicButtons() const
{
    return d->mosaicButtons;
}
QComboBox* Annotator::fontPopup() const
{
    return d->fontPopup;
}

void Annotator::refreshToolbar()
{
    for (ToolButton* b : std::as_const(d->toolButtons))
        b->setOn(tool && b->tag() == int(*tool));
    refreshStyleControls();
}

} // namespace quillet
