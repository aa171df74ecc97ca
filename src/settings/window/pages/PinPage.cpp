// The pin page: how new pins look, and the pins on screen now.
#include "output/PinWindow.h"
#include "settings/Prefs.h"
#include "settings/window/SettingsModel.h"
#include "settings/window/components/Card.h"
#include "settings/window/components/Switch.h"
#include "settings/window/pages/PageControls.h"
#include "settings/window/pages/Pages.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

namespace quillet {

namespace {

class PinPage final : public PageBody {
public:
    PinPage(SettingsModel& model, QWidget* parent)
        : PageBody(model, parent)
    {
        Card* looks = addCard(QStringLiteral("外观"), QStringLiteral("square.on.square"));
        looks->add(new SettingRow(QStringLiteral("窗口阴影"),
            QStringLiteral("让贴图浮在其他窗口之上更有层次"),
            boundSwitch(Prefs::pinShadowKey, Prefs::pinShadow()), looks));
        looks->add(new RowDivider(looks));
        auto* opacity = new QWidget;
        auto* oh = new QHBoxLayout(opacity);
        oh->setContentsMargins(0, 0, 0, 0);
        oh->setSpacing(8);
        QSlider* slider = percentSlider(
            Prefs::pinOpacityKey, std::clamp(Prefs::pinOpacity(), 0.3, 1.0), 30, 100, opacity);
        slider->setFixedWidth(160);
        slider->setAccessibleName(QStringLiteral("默认不透明度"));
        auto* value = makeLabel(QString(), 12, QFont::Medium, false, opacity);
        value->setMinimumWidth(40);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        const auto show = [value](int percent) {
            value->setText(QString::number(percent) + QLatin1Char('%'));
            value->setAccessibleName(value->text());
        };
        show(slider->value());
        connect(slider, &QSlider::valueChanged, value, show);
        oh->addWidget(slider);
        oh->addWidget(value);
        looks->add(new SettingRow(QStringLiteral("默认不透明度"),
            QStringLiteral("新贴图的初始透明度，之后可用 Alt+滚轮调整"), opacity, looks));

        Card* onScreen = addCard(QStringLiteral("屏幕上的贴图"), QStringLiteral("pin.fill"));
        auto* row = new QWidget(onScreen);
        auto* h = new QHBoxLayout(row);
        h->setContentsMargins(0, 0, 0, 0);
        h->setSpacing(6);
        m_count = makeLabel(QString(), 28, QFont::Bold, false, row);
        h->addWidget(m_count, 0, Qt::AlignBaseline);
        h->addWidget(makeLabel(QStringLiteral("张贴图"), 13, QFont::Normal, true, row), 0,
            Qt::AlignBaseline);
        h->addStretch(1);
        m_closeAll = new QPushButton(QStringLiteral("关闭全部"), row);
        m_closeAll->setAccessibleName(m_closeAll->text());
        h->addWidget(m_closeAll);
        onScreen->add(row);
        connect(m_closeAll, &QPushButton::clicked, this, [this] {
            PinWindow::closeAll();
            this->model().refreshPinCount();
        });
        stack()->addStretch(1);

        // Pins open and close elsewhere; the number follows once a second while shown.
        m_poll.setInterval(1000);
        connect(&m_poll, &QTimer::timeout, this, [this] { this->model().refreshPinCount(); });
        connect(&model, &SettingsModel::pinCountChanged, this, &PinPage::sync);
        sync();
    }

    QPushButton* closeAllButton() const { return m_closeAll; }

protected:
    void showEvent(QShowEvent* e) override
    {
        model().refreshPinCount();
        m_poll.start();
        PageBody::showEvent(e);
    }
    void hideEvent(QHideEvent* e) override
    {
        m_poll.stop();
        PageBody::hideEvent(e);
    }

private:
    void sync()
    {
        const int n = model().pinCount();
        m_count->setText(QString::number(n));
        m_count->setAccessibleName(m_count->text() + QStringLiteral(" 张贴图"));
        m_closeAll->setEnabled(n > 0);
    }

    QLabel* m_count;
    QPushButton* m_closeAll;
    QTimer m_poll;
};

} // namespace

PageBody* makePinPage(SettingsModel& model, QWidget* parent)
{
    return new PinPage(model, parent);
}

} // namespace quillet
