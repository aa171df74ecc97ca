#include "settings/window/SettingsView.h"

#include "settings/window/SettingsModel.h"
#include "settings/window/components/PageParts.h"
#include "settings/window/components/PermissionBadge.h"
#include "settings/window/pages/Pages.h"

#include <QButtonGroup>
#include <QEasingCurve>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

namespace quillet {

namespace {

constexpr int detailMargin = 24;
constexpr qreal entranceRise = 6;

// The sidebar column: 190 to 240 wide, 200 when there is room, a shade off the window colour.
class Sidebar final : public QWidget {
public:
    explicit Sidebar(QWidget* parent)
        : QWidget(parent)
    {
        setMinimumWidth(190);
        setMaximumWidth(240);
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    }
    QSize sizeHint() const override { return {200, QWidget::sizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const QColor window = palette().color(QPalette::Window);
        const bool dark = window.lightnessF() < palette().color(QPalette::WindowText).lightnessF();
        p.fillRect(rect(), dark ? window.lighter(112) : window.darker(104));
        QColor edge = palette().color(QPalette::WindowText);
        edge.setAlphaF(0.1f);
        p.fillRect(QRect(width() - 1, 0, 1, height()), edge);
    }
};

} // namespace

SettingsView::SettingsView(SettingsModel& model, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
{
    setAutoFillBackground(true);
    auto* columns = new QHBoxLayout(this);
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(0);

    auto* sidebar = new Sidebar(this);
    auto* list = new QVBoxLayout(sidebar);
    list->setContentsMargins(10, 14, 10, 12);
    list->setSpacing(2);
    auto* group = new QButtonGroup(this);
    group->setExclusive(true);
    for (SettingsPage page : allSettingsPages) {
        auto* row = new SidebarRow(page, sidebar);
        group->addButton(row);
        list->addWidget(row);
        m_rows.append(row);
        // Toggled rather than clicked: assistive technology toggles a check box without a click.
        connect(row, &QAbstractButton::toggled, this, [this, page](bool on) {
            if (on && m_model.shownPage() != page)
                m_model.setPage(page);
        });
    }
    list->addStretch(1);
    m_badge = new PermissionBadge(model, sidebar);
    list->addWidget(m_badge, 0, Qt::AlignLeft);
    columns->addWidget(sidebar);

    m_scroll = new QScrollArea(this);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setMinimumWidth(560);
    m_scroll->viewport()->setAutoFillBackground(false);
    columns->addWidget(m_scroll, 1);

    m_entrance.setDuration(180);
    m_entrance.setEasingCurve(QEasingCurve::OutCubic);
    m_entrance.setStartValue(0.0);
    m_entrance.setEndValue(1.0);
    connect(&m_entrance, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        if (!m_content)
            return;
        const qreal t = v.toReal();
        if (auto* fade = qobject_cast<QGraphicsOpacityEffect*>(m_content->graphicsEffect()))
            fade->setOpacity(t);
        m_content->layout()->setContentsMargins(detailMargin,
            detailMargin - 4 + qRound(entranceRise * (1 - t)), detailMargin, detailMargin);
    });
    connect(&m_entrance, &QVariantAnimation::finished, this, [this] {
        // Drawn without the effect once in place: it renders the page off-screen first.
        if (m_content)
            m_content->setGraphicsEffect(nullptr);
    });

    connect(&model, &SettingsModel::pageChanged, this, [this] { showPage(isVisible()); });
    showPage(false);
}

SidebarRow* SettingsView::sidebarRow(SettingsPage page) const
{
    for (SidebarRow* row : m_rows) {
        if (row->page() == page)
            return row;
    }
    return nullptr;
}

void SettingsView::showEvent(QShowEvent* e)
{
    // Values may have changed while the window was closed (style bar, pins, shortcuts).
    showPage(false);
    QWidget::showEvent(e);
}

void SettingsView::showPage(bool animate)
{
    // A recording belongs to a button of the page being left: end it, so the hot keys are not
    // left released behind a button nobody can see.
    if (m_model.recording())
        m_model.stopRecording();
    m_shown = m_model.shownPage();
    for (SidebarRow* row : m_rows)
        row->setChecked(m_model.page() == row->page());

    m_entrance.stop();
    auto* content = new QWidget;
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(detailMargin, detailMargin - 4, detailMargin, detailMargin);
    stack->setSpacing(18);
    stack->addWidget(new PageHeader(m_shown, content));
    m_body = makePage(m_shown, m_model, content);
    stack->addWidget(m_body, 1);
    // The old page goes with its widgets (timers, recorder buttons).
    m_scroll->setWidget(content);
    m_content = content;
    if (animate) {
        auto* fade = new QGraphicsOpacityEffect(content);
        fade->setOpacity(0);
        content->setGraphicsEffect(fade);
        m_entrance.start();
    }
}

} // namespace quillet
