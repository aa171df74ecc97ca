#include "settings/window/components/PermissionBadge.h"

#include "settings/window/SettingsModel.h"
#include "settings/window/components/Look.h"
#include "ui/Accent.h"
#include "ui/Fonts.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRadialGradient>

namespace quillet {

namespace {

QColor dotColor(bool granted)
{
    return granted ? srgb(0.20, 0.78, 0.35) : srgb(1.0, 0.58, 0.0);
}

} // namespace

PermissionBadge::PermissionBadge(SettingsModel& model, QWidget* parent)
    : QAbstractButton(parent)
    , m_model(model)
{
    setFont(uiFont(11));
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    connect(&model, &SettingsModel::permissionChanged, this, &PermissionBadge::sync);
    connect(
        this, &QAbstractButton::clicked, this, [this] { m_model.setPage(SettingsPage::general); });
    sync();
}

void PermissionBadge::sync()
{
    setText(
        m_model.permission() ? QStringLiteral("录屏权限已开启") : QStringLiteral("未开启录屏权限"));
    setAccessibleName(text());
    updateGeometry();
    update();
}

QSize PermissionBadge::sizeHint() const
{
    const QFontMetrics fm(font());
    return QSize(10 + 7 + 6 + fm.horizontalAdvance(text()) + 10, std::max(7, fm.height()) + 14);
}

void PermissionBadge::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    p.setPen(hasFocus() ? QPen(look::accent(this, 0.6), 1.5) : Qt::NoPen);
    p.setBrush(look::primary(this, underMouse() ? 0.08 : 0.05));
    p.drawRoundedRect(r, 8, 8);

    const QColor dot = dotColor(m_model.permission());
    const QPointF centre(10 + 3.5, r.center().y());
    QRadialGradient glow(centre, 7);
    QColor halo = dot;
    halo.setAlphaF(0.6f);
    glow.setColorAt(0, halo);
    halo.setAlphaF(0);
    glow.setColorAt(1, halo);
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(centre, 7, 7);
    p.setBrush(dot);
    p.drawEllipse(centre, 3.5, 3.5);

    p.setPen(look::secondary(this));
    p.drawText(QRectF(10 + 7 + 6, 0, width() - 23 - 10, height()), Qt::AlignVCenter | Qt::AlignLeft,
        text());
}

} // namespace quillet
