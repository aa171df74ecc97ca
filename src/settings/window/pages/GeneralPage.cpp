// The general page: the capture permission and starting at login.
#include "settings/window/SettingsModel.h"
#include "settings/window/components/Card.h"
#include "settings/window/components/Look.h"
#include "settings/window/components/Switch.h"
#include "settings/window/pages/Pages.h"
#include "ui/Accent.h"
#include "ui/Icons.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>

namespace quillet {

namespace {

// The status symbol on a 44-point circle of its colour at 0.14.
class StatusMark final : public QWidget {
public:
    explicit StatusMark(QWidget* parent)
        : QWidget(parent)
    {
        setFixedSize(44, 44);
    }
    void set(const QString& symbol, const QColor& color)
    {
        m_symbol = symbol;
        m_color = color;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QColor disc = m_color;
        disc.setAlphaF(0.14f);
        p.setPen(Qt::NoPen);
        p.setBrush(disc);
        p.drawEllipse(QRectF(rect()));
        drawSymbol(p, m_symbol, QRectF(12, 12, 20, 20), m_color, 1.2);
    }

private:
    QString m_symbol;
    QColor m_color;
};

class GeneralPage final : public PageBody {
public:
    GeneralPage(SettingsModel& model, QWidget* parent)
        : PageBody(model, parent)
    {
        Card* permission = addCard(QStringLiteral("录屏权限"), QStringLiteral("lock.shield"));
        auto* status = new QWidget(permission);
        auto* row = new QHBoxLayout(status);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(12);
        m_mark = new StatusMark(status);
        row->addWidget(m_mark, 0, Qt::AlignTop);
        auto* texts = new QVBoxLayout;
        texts->setSpacing(3);
        m_status = makeLabel(QString(), 13, QFont::Medium, false, status);
        m_detail = makeLabel(QString(), 11, QFont::Normal, true, status);
        texts->addWidget(m_status);
        texts->addWidget(m_detail);
        row->addLayout(texts, 1);
        auto* buttons = new QVBoxLayout;
        buttons->setSpacing(4);
        m_open = new QPushButton(QStringLiteral("打开系统设置"), status);
        m_open->setDefault(true);
        m_open->setAccessibleName(m_open->text());
        m_relaunch = new QPushButton(QStringLiteral("重启墨钉"), status);
        m_relaunch->setFlat(true);
        m_relaunch->setCursor(Qt::PointingHandCursor);
        m_relaunch->setAccessibleName(m_relaunch->text());
        QPalette link = m_relaunch->palette();
        link.setColor(QPalette::ButtonText, accent());
        m_relaunch->setPalette(link);
        buttons->addWidget(m_open);
        buttons->addWidget(m_relaunch);
        row->addLayout(buttons);
        permission->add(status);
        connect(m_open, &QPushButton::clicked, this, [this] { this->model().openPrivacy(); });
        connect(m_relaunch, &QPushButton::clicked, this, [this] { this->model().relaunch(); });

        Card* start = addCard(QStringLiteral("启动"), QStringLiteral("power"));
        m_login = new Switch;
        start->add(new SettingRow(QStringLiteral("开机时自动启动"),
            QStringLiteral("登录后墨钉自动待在托盘"), m_login, start));
        // Toggled rather than clicked: assistive technology toggles a check box without a
        // click. What sync() sets is the real state and is not written back.
        connect(
            m_login, &QCheckBox::toggled, this, [this](bool on) { this->model().setLogin(on); });

        stack()->addStretch(1);
        connect(&model, &SettingsModel::permissionChanged, this, &GeneralPage::sync);
        connect(&model, &SettingsModel::loginEnabledChanged, this, &GeneralPage::sync);
        sync();
    }

private:
    void sync()
    {
        const bool granted = model().permission();
        if (granted) {
            m_mark->set(QStringLiteral("checkmark.seal.fill"), srgb(0.20, 0.75, 0.35));
            m_status->setText(QStringLiteral("已开启，可以正常截图"));
            // Where the desktop offers several ways to read the screen, which one is in use.
            const QString route = model().permissionReason();
            m_detail->setText(
                QStringLiteral("墨钉只在你按下截图快捷键的那一刻读取屏幕，不会在后台录制。")
                + (route.isEmpty() ? QString() : QLatin1Char('\n') + route));
        } else {
            m_mark->set(QStringLiteral("exclamationmark.triangle.fill"), srgb(1.0, 0.58, 0.0));
            m_status->setText(QStringLiteral("还没有开启录屏权限"));
            // The platform says what is in the way here and what to do about it.
            const QString reason = model().permissionReason();
            m_detail->setText(reason.isEmpty()
                    ? QStringLiteral("在系统设置里允许墨钉读取屏幕，然后重启墨钉。")
                    : reason);
        }
        m_status->setAccessibleName(m_status->text());
        m_detail->setAccessibleName(m_detail->text());
        m_open->setVisible(!granted && model().hasPrivacySettings());
        m_relaunch->setVisible(!granted);
        const QSignalBlocker quiet(m_login);
        m_login->setChecked(model().loginEnabled());
        m_login->update();
    }

    StatusMark* m_mark;
    QLabel* m_status;
    QLabel* m_detail;
    QPushButton* m_open;
    QPushButton* m_relaunch;
    Switch* m_login;
};

} // namespace

PageBody* makeGeneralPage(SettingsModel& model, QWidget* parent)
{
    return new GeneralPage(model, parent);
}

} // namespace quillet
