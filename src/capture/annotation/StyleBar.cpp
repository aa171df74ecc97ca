// The style bar under (or over) the toolbar: widths or text styles and size, then colours; for
// the mosaic, its block sizes.
#include "capture/annotation/Annotator.h"
#include "capture/annotation/AnnotatorPrivate.h"
#include "platform/Geometry.h"
#include "ui/Accent.h"
#include "ui/Fonts.h"

#include <QAbstractItemView>
#include <QEnterEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionComboBox>
#include <algorithm>
#include <cmath>
#include <functional>

namespace quillet {

namespace {

constexpr int subbarAppearMs = 180;

QString sizeTitle(double v)
{
    return QString::number(qRound(v)) + QStringLiteral(" pt");
}

// The size menu, drawn to sit in the dark glass like the buttons around it.
class SizeMenu final : public QComboBox {
public:
    explicit SizeMenu(QWidget* parent)
        : QComboBox(parent)
    {
        setFixedSize(84, 26);
        setFocusPolicy(Qt::NoFocus);
        setCursor(Qt::ArrowCursor);
        setFont(uiFont(13, QFont::Medium));
        QPalette pal = view()->palette();
        pal.setColor(QPalette::Base, srgb(0.16, 0.16, 0.17));
        pal.setColor(QPalette::Text, Qt::white);
        pal.setColor(QPalette::Highlight, accent());
        pal.setColor(QPalette::HighlightedText, Qt::white);
        view()->setPalette(pal);
    }

protected:
    void enterEvent(QEnterEvent* e) override
    {
        m_hover = true;
        update();
        QComboBox::enterEvent(e);
    }
    void leaveEvent(QEvent* e) override
    {
        m_hover = false;
        update();
        QComboBox::leaveEvent(e);
    }
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        p.setPen(QPen(white(1, 0.16), 1));
        p.setBrush(white(1, m_hover ? 0.16 : 0.09));
        p.drawRoundedRect(r, 7, 7);
        p.setPen(white(1, 0.92));
        p.setFont(font());
        p.drawText(r.adjusted(10, 0, -20, 0), Qt::AlignVCenter | Qt::AlignLeft, currentText());
        // An up-down chevron, as pop-up menus show.
        const qreal cx = r.right() - 12, cy = r.center().y();
        QPainterPath chevrons;
        chevrons.moveTo(cx - 3, cy - 2);
        chevrons.lineTo(cx, cy - 5);
        chevrons.lineTo(cx + 3, cy - 2);
        chevrons.moveTo(cx - 3, cy + 2);
        chevrons.lineTo(cx, cy + 5);
        chevrons.lineTo(cx + 3, cy + 2);
        p.setPen(QPen(white(1, 0.75), 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(chevrons);
    }

private:
    bool m_hover = false;
};

QImage blank20()
{
    QImage img(40, 40, QImage::Format_ARGB32_Premultiplied);
    img.setDevicePixelRatio(2);
    img.fill(Qt::transparent);
    return img;
}

QImage colorSwatch(const QColor& c, bool selected)
{
    QImage img = blank20();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF all(0, 0, 20, 20);
    if (selected) {
        p.setPen(QPen(Qt::white, 2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(all.adjusted(1.5, 1.5, -1.5, -1.5));
    }
    const qreal inset = selected ? 4.5 : 5;
    p.setPen(QPen(white(1, 0.25), 0.5));
    p.setBrush(c);
    p.drawEllipse(all.adjusted(inset, inset, -inset, -inset));
    return img;
}

QImage widthDot(double width, const QColor& c)
{
    QImage img = blank20();
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal dia = std::min(1.1 * width + 3, 18.0);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(QPointF(10, 10), dia / 2, dia / 2);
    return img;
}

} // namespace

void Annotator::updateSubbar(bool)
{
    if (!d->toolbar || d->toolbar->isHidden()) {
        if (d->subbar)
            d->subbar->hide();
        return;
    }
    std::optional<Tool> kind;
    if (tool) {
        kind = tool;
    } else if (isEditingText()
        || (activeText && *activeText >= 0 && *activeText < annotations.size())) {
        kind = Tool::text;
    } else if (activeShape && *activeShape >= 0 && *activeShape < annotations.size()) {
        kind = annotations[*activeShape].tool;
    }
    if (kind == d->subbarKind && (d->subbar || !kind)) {
        if (d->subbar)
            placeSubbar();
        return;
    }
    buildSubbar(kind);
    d->subbarKind = kind;
    refreshToolbar();
    if (d->subbar)
        placeSubbar();
}

void Annotator::buildSubbar(std::optional<Tool> kind)
{
    if (d->subbar) {
        d->subbar->hide();
        d->subbar->deleteLater(); // its buttons may be the ones being clicked
    }
    d->subbar = nullptr;
    d->subbarFrame = QRectF();
    d->colorButtons.clear();
    d->widthButtons.clear();
    d->styleButtons.clear();
    d->mosaicButtons.clear();
    d->fontPopup = nullptr;
    if (!kind)
        return;

    auto* panel = new GlassPanel(m_host.hostWidget());
    // One button of the bar: tagged, of its width, in its list, doing `chosen` when clicked.
    const auto add = [&](const QString& tip, int tag, int width, QList<ToolButton*>& list,
                         std::function<void()> chosen) {
        auto* b = new ToolButton(QString(), tip, panel);
        b->setTag(tag);
        b->setFixedWidth(width);
        connect(b, &QAbstractButton::clicked, this, std::move(chosen));
        panel->row()->addWidget(b);
        list.append(b);
        return b;
    };
    if (*kind == Tool::mosaic) {
        // Small blocks hide small print; large words need large blocks.
        const QStringList titles
            = {QStringLiteral("小"), QStringLiteral("中"), QStringLiteral("大")};
        for (int s = 0; s < 3; ++s) {
            add(QStringLiteral("马赛克块 ") + titles[s] + QStringLiteral("（")
                    + QString::number(qRound(mosaicBlock(s))) + QStringLiteral(" pt）"),
                s, 32, d->mosaicButtons, [this, s] { chooseMosaicSize(s); })
                ->setTitle(QString(), titles[s]);
        }
        d->subbar = panel;
        return;
    }
    if (*kind == Tool::text) {
        const QStringList tips
            = {QStringLiteral("普通"), QStringLiteral("色块底"), QStringLiteral("描边")};
        for (int s = 0; s < 3; ++s) {
            add(tips[s], s, 32, d->styleButtons, [this, s] {
                chooseTextStyle(s);
            })->setTemplateImage(textStyleIcon(s));
        }
        panel->addDivider();
        auto* menu = new SizeMenu(panel);
        menu->setToolTip(QStringLiteral("字号（也可滚轮调）"));
        connect(menu, &QComboBox::activated, this, [this, menu](int i) {
            QString title = menu->itemText(i);
            title.remove(QStringLiteral(" pt"));
            bool ok = false;
            const double v = title.toDouble(&ok);
            if (ok)
                chooseFontSize(v);
            giveKeyboardBackToField();
        });
        panel->row()->addWidget(menu);
        d->fontPopup = menu;
    } else {
        const QList<double>& widths = lineWidths();
        for (int i = 0; i < widths.size(); ++i) {
            const double w = widths[i];
            add(QStringLiteral("粗细 ") + QString::number(qRound(w))
                    + QStringLiteral("（也可滚轮调）"),
                i, 32, d->widthButtons, [this, w] { chooseWidth(w); });
        }
    }
    panel->addDivider();
    for (int k = 0; k < int(palette().size()); ++k)
        add(QStringLiteral("颜色"), k, 26, d->colorButtons, [this, k] { chooseColor(k); });
    d->subbar = panel;
}

void Annotator::placeSubbar()
{
    GlassPanel* panel = d->subbar;
    if (!panel)
        return;
    const QSize size = panel->panelSize();
    const qreal w = size.width(), h = size.height();
    const QRectF t = d->toolbarFrame;
    const QRectF b = m_host.hostBounds();
    qreal y = m_toolbarBelow ? minY(t) - h - subbarGap : maxY(t) + subbarGap;
    y = std::max(y, subbarInset);
    y = std::min(y, maxY(b) - h - subbarInset);
    qreal x = std::max(maxX(t) - w, subbarInset);
    x = std::min(x, maxX(b) - w - subbarInset);
    d->subbarFrame = QRectF(x, y, w, h);
    const QRectF wr = widgetFromView(d->subbarFrame, b.height());
    const QRect target(qRound(wr.x()), qRound(wr.y()), qRound(wr.width()), qRound(wr.height()));
    if (panel->isHidden() || panel->isAppearing())
        panel->appear(target, QPoint(0, m_toolbarBelow ? -6 : 6), subbarAppearMs);
    else
        panel->setPanelGeometry(target);
}

void Annotator::refreshStyleControls()
{
    for (ToolButton* b : std::as_const(d->styleButtons))
        b->setOn(b->tag() == textStyle);
    const bool mosaicActive = activeShape && *activeShape >= 0 && *activeShape < annotations.size()
        && annotations[*activeShape].tool == Tool::mosaic;
    const int block = mosaicActive ? annotations[*activeShape].style : mosaicSize;
    for (ToolButton* b : std::as_const(d->mosaicButtons))
        b->setOn(b->tag() == block);

    if (QComboBox* menu = d->fontPopup) {
        const QSignalBlocker block(menu);
        const QList<double>& sizes = fontSizes();
        const double r = std::round(fontSize);
        const auto first = std::find_if(
            sizes.cbegin(), sizes.cend(), [this](double s) { return s >= fontSize - 0.5; });
        QStringList titles;
        for (double s : sizes)
            titles.append(sizeTitle(s));
        if (first == sizes.cend())
            titles.append(sizeTitle(r));
        else if (*first != r)
            titles.insert(first - sizes.cbegin(), sizeTitle(r));
        QStringList current;
        for (int i = 0; i < menu->count(); ++i)
            current.append(menu->itemText(i));
        if (current != titles) {
            menu->clear();
            menu->addItems(titles);
        }
        menu->setCurrentIndex(int(titles.indexOf(sizeTitle(r))));
    }

    for (ToolButton* b : std::as_const(d->colorButtons)) {
        const QColor& c = palette()[b->tag()];
        const bool selected = c.rgba() == color.rgba();
        b->setImage(colorSwatch(c, selected));
    }

    const bool shape = activeShape && *activeShape >= 0 && *activeShape < annotations.size();
    const double reference = shape ? annotations[*activeShape].width : lineWidth;
    const QList<double>& widths = lineWidths();
    for (ToolButton* b : std::as_const(d->widthButtons)) {
        const double w = widths.value(b->tag());
        const bool on = std::abs(w - reference) < 0.5;
        b->setOn(on);
        b->setImage(widthDot(w, on ? QColor(Qt::white) : color));
    }
}

} // namespace quillet
