// The about page: the program, what it does, and how to start.
#include "settings/ShortcutStore.h"
#include "settings/window/SettingsModel.h"
#include "settings/window/components/Card.h"
#include "settings/window/components/Keycap.h"
#include "settings/window/components/PageParts.h"
#include "settings/window/pages/Pages.h"
#include "ui/Accent.h"
#include "ui/AppIcons.h"
#include "ui/Shadow.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>

namespace quillet {

namespace {

// The application icon at 112 points with a soft shadow.
class AppIconView final : public QWidget {
public:
    explicit AppIconView(QWidget* parent)
        : QWidget(parent)
    {
        setFixedSize(112 + 16, 112 + 16);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const QRectF icon(8, 6, 112, 112);
        paintWithShadow(p, Shadow {QColor(0, 0, 0, 38), 8, QPointF(0, 2)}, QRectF(rect()),
            [&](QPainter& q) { appIcon().paint(&q, icon.toRect()); });
    }
};

// The first bound shortcut's key caps, or a single "—".
QStringList firstKeys(HotKeyAction action)
{
    const QList<Shortcut> all = ShortcutStore::all(action);
    return all.isEmpty() ? QStringList {QStringLiteral("—")} : all.constFirst().keyCaps();
}

class AboutPage final : public PageBody {
public:
    AboutPage(SettingsModel& model, QWidget* parent)
        : PageBody(model, parent)
    {
        auto* header = new QWidget(this);
        auto* hv = new QVBoxLayout(header);
        hv->setContentsMargins(0, 8, 0, 8);
        hv->setSpacing(4);
        hv->addWidget(new AppIconView(header), 0, Qt::AlignHCenter);
        hv->addWidget(
            makeLabel(QStringLiteral("墨钉"), 28, QFont::Bold, false, header), 0, Qt::AlignHCenter);
        QLabel* version = makeLabel(QStringLiteral("版本 ") + QStringLiteral(QUILLET_VERSION), 12,
            QFont::Normal, true, header);
        version->setAlignment(Qt::AlignHCenter);
        hv->addWidget(version, 0, Qt::AlignHCenter);
        stack()->addWidget(header);

        auto* features = new Card(this);
        features->add(new Feature(QStringLiteral("scissors"), colors(SettingsPage::capture),
            QStringLiteral("截图"), QStringLiteral("自动识别窗口、像素级放大镜、多屏幕原生分辨率"),
            features));
        features->add(new Feature(QStringLiteral("pencil.tip.crop.circle"),
            TileColors {srgb(1.0, 0.55, 0.30), srgb(0.95, 0.35, 0.25)}, QStringLiteral("标注"),
            QStringLiteral("方框、箭头、文字、序号，Ctrl+Z 撤销"), features));
        features->add(new Feature(QStringLiteral("pin.fill"), colors(SettingsPage::pin),
            QStringLiteral("贴图"), QStringLiteral("把截图或剪贴板钉在屏幕上，对照着干活"),
            features));
        stack()->addWidget(features);

        Card* start = addCard(QStringLiteral("快速上手"), QStringLiteral("sparkles"));
        m_captureKeys = new Keys(firstKeys(HotKeyAction::capture), start);
        m_pinKeys = new Keys(firstKeys(HotKeyAction::pin), start);
        start->add(quickRow(m_captureKeys, QStringLiteral("开始截图"), start));
        start->add(quickRow(m_pinKeys, QStringLiteral("贴图"), start));
        auto* all = new QPushButton(QStringLiteral("查看全部快捷键"), start);
        all->setFlat(true);
        all->setCursor(Qt::PointingHandCursor);
        all->setAccessibleName(all->text());
        QPalette link = all->palette();
        link.setColor(QPalette::ButtonText, accent());
        all->setPalette(link);
        start->stack()->addWidget(all, 0, Qt::AlignLeft);
        connect(all, &QPushButton::clicked, this,
            [this] { this->model().setPage(SettingsPage::shortcuts); });
        stack()->addStretch(1);

        connect(&model, &SettingsModel::revisionChanged, this, [this] {
            m_captureKeys->setKeys(firstKeys(HotKeyAction::capture));
            m_pinKeys->setKeys(firstKeys(HotKeyAction::pin));
        });
    }

private:
    static QWidget* quickRow(Keys* keys, const QString& text, QWidget* parent)
    {
        auto* row = new QWidget(parent);
        auto* h = new QHBoxLayout(row);
        h->setContentsMargins(0, 0, 0, 0);
        h->setSpacing(10);
        keys->setParent(row);
        h->addWidget(keys);
        h->addWidget(makeLabel(text, 13, QFont::Normal, false, row));
        h->addStretch(1);
        return row;
    }

    Keys* m_captureKeys;
    Keys* m_pinKeys;
};

} // namespace

PageBody* makeAboutPage(SettingsModel& model, QWidget* parent)
{
    return new AboutPage(model, parent);
}

} // namespace quillet
