// The shortcuts page: the global shortcuts with their recorders, and the keys used inside a
// capture and on a pin.
#include "settings/ShortcutStore.h"
#include "settings/window/SettingsModel.h"
#include "settings/window/components/Card.h"
#include "settings/window/components/IconTile.h"
#include "settings/window/components/Keycap.h"
#include "settings/window/components/Look.h"
#include "settings/window/components/RecorderButton.h"
#include "settings/window/pages/Pages.h"

#include "platform/GnomeKeyBindings.h"
#include "settings/DesktopBindings.h"
#include "ui/Accent.h"
#include "ui/Fonts.h"
#include "ui/Icons.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillet {

namespace {

struct Cheat {
    const char* text;
    QStringList keys;
};

// Keys handled elsewhere, shown for reference. In-program keys use Ctrl and Alt here.
const QList<Cheat>& captureCheats()
{
    static const QList<Cheat> c = {
        {"复制并完成", {QStringLiteral("↩")}},
        {"保存", {QStringLiteral("Ctrl"), QStringLiteral("S")}},
        {"撤销", {QStringLiteral("Ctrl"), QStringLiteral("Z")}},
        {"重做", {QStringLiteral("Ctrl"), QStringLiteral("Shift"), QStringLiteral("Z")}},
        {"切换标注工具", {QStringLiteral("1 – 8")}},
        {"复制鼠标处颜色", {QStringLiteral("C")}},
        {"微调选区 / 准星", {QStringLiteral("← →")}},
        {"退出", {QStringLiteral("esc")}},
    };
    return c;
}

const QList<Cheat>& pinCheats()
{
    static const QList<Cheat> c = {
        {"缩放", {QStringLiteral("滚轮")}},
        {"调透明度", {QStringLiteral("Alt"), QStringLiteral("滚轮")}},
        {"原始大小", {QStringLiteral("Ctrl"), QStringLiteral("0")}},
        {"复制", {QStringLiteral("Ctrl"), QStringLiteral("C")}},
        {"关闭", {QStringLiteral("双击")}},
        {"关闭", {QStringLiteral("esc")}},
    };
    return c;
}

QString detailOf(HotKeyAction a)
{
    return a == HotKeyAction::capture ? QStringLiteral("框选区域截图；截图中再按一次＝钉到屏幕")
                                      : QStringLiteral("把剪贴板里的图片或文字钉到屏幕上");
}

// The warning symbol in orange, at the text's height.
class WarningMark final : public QWidget {
public:
    explicit WarningMark(QWidget* parent)
        : QWidget(parent)
    {
        setFixedSize(14, 14);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        drawSymbol(p, QStringLiteral("exclamationmark.triangle.fill"), QRectF(rect()),
            srgb(1.0, 0.58, 0.0));
    }
};

class ShortcutsPage final : public PageBody {
public:
    ShortcutsPage(SettingsModel& model, QWidget* parent)
        : PageBody(model, parent)
    {
        auto* card = new Card(this);
        auto* heading = new CardTitle(
            QStringLiteral("全局快捷键"), QStringLiteral("keyboard"), QString(), card);
        auto* reset = new QPushButton(QStringLiteral("恢复默认"), heading);
        reset->setAccessibleName(reset->text());
        reset->setFont(uiFontSmall());
        heading->setTrailingWidget(reset);
        card->add(heading);
        connect(reset, &QPushButton::clicked, this, [this] {
            this->model().stopRecording();
            ShortcutStore::reset();
            this->model().refresh();
        });

        bool first = true;
        for (HotKeyAction action : allHotKeyActions) {
            if (!first)
                card->add(new RowDivider(card));
            first = false;
            card->add(actionRow(action, card));
        }
        card->add(
            makeLabel(QStringLiteral("点按钮后按下新的组合键；Esc 取消，Delete "
                                     "清空。普通字母键需要带 Ctrl / Alt / Super。笔记本键盘上的 "
                                     "F1、F3 通常要按住 Fn。"),
                11, QFont::Normal, true, card));
        // Where the desktop binds the keys itself: what it made of them.
        m_note = makeLabel(QString(), 11, QFont::Normal, true, card);
        m_note->setTextInteractionFlags(Qt::TextSelectableByMouse);
        card->add(m_note);

        m_warning = new QWidget(card);
        auto* warn = new QHBoxLayout(m_warning);
        warn->setContentsMargins(0, 0, 0, 0);
        warn->setSpacing(6);
        warn->addWidget(new WarningMark(m_warning), 0, Qt::AlignTop);
        m_warningText = new WarningLabel(11, m_warning);
        warn->addWidget(m_warningText, 1);
        card->add(m_warning);
        if (GnomeKeyBindings::available())
            card->add(gnomeRow(card));
        stack()->addWidget(card);

        auto* sheets = new QHBoxLayout;
        sheets->setSpacing(14);
        sheets->addWidget(
            cheatCard(QStringLiteral("截图时"), QStringLiteral("scissors"), captureCheats()), 1,
            Qt::AlignTop);
        sheets->addWidget(
            cheatCard(QStringLiteral("贴图时"), QStringLiteral("pin.fill"), pinCheats()), 1,
            Qt::AlignTop);
        stack()->addLayout(sheets);
        stack()->addStretch(1);

        connect(&model, &SettingsModel::failedChanged, this, &ShortcutsPage::syncWarning);
        syncWarning();
    }

private:
    static QFont uiFontSmall();

    // GNOME has no way for programs to bind global keys; its own custom shortcuts can run the
    // program's commands, and the program writes them there when the user asks it to.
    QWidget* gnomeRow(QWidget* parent)
    {
        m_gnome = new QWidget(parent);
        auto* v = new QVBoxLayout(m_gnome);
        v->setContentsMargins(0, 0, 0, 0);
        v->setSpacing(6);
        m_gnomeText = makeLabel(QString(), 11, QFont::Normal, true, m_gnome);
        m_gnomeText->setWordWrap(true);
        v->addWidget(m_gnomeText);
        auto* buttons = new QHBoxLayout;
        buttons->setSpacing(8);
        m_gnomeAdd = new QPushButton(m_gnome);
        m_gnomeRemove = new QPushButton(QStringLiteral("从 GNOME 快捷键移除"), m_gnome);
        for (QPushButton* b : {m_gnomeAdd, m_gnomeRemove}) {
            b->setFont(uiFontSmall());
            buttons->addWidget(b);
        }
        m_gnomeRemove->setAccessibleName(m_gnomeRemove->text());
        buttons->addStretch(1);
        v->addLayout(buttons);
        connect(m_gnomeAdd, &QPushButton::clicked, this, [this] {
            QString why;
            if (GnomeKeyBindings::install(DesktopBindings::gnomeEntries(), &why))
                syncGnome(QStringLiteral("已加到 GNOME 的自定义快捷键，现在就能用。"));
            else
                syncGnome(QStringLiteral("没能加到 GNOME 的自定义快捷键：") + why);
        });
        connect(m_gnomeRemove, &QPushButton::clicked, this, [this] {
            QString why;
            if (GnomeKeyBindings::uninstall(&why))
                syncGnome(QStringLiteral("已从 GNOME 的自定义快捷键里移除墨钉的按键。"));
            else
                syncGnome(QStringLiteral("没能从 GNOME 的自定义快捷键里移除：") + why);
        });
        syncGnome({});
        return m_gnome;
    }

    void syncGnome(const QString& outcome)
    {
        if (!m_gnome)
            return;
        const bool installed = GnomeKeyBindings::installed();
        m_gnome->setVisible(!model().hotKeyReason().isEmpty() || installed);
        const QString text = outcome.isEmpty()
            ? (installed ? QStringLiteral(
                   "墨钉的按键已在 GNOME 的自定义快捷键里；改了上面的按键后点“更新”。")
                         : QStringLiteral(
                             "可以把上面的按键加到 GNOME 自己的自定义快捷键里，不用去 GNOME "
                             "设置里一个个添加。"))
            : outcome;
        m_gnomeText->setText(text);
        m_gnomeText->setAccessibleName(text);
        m_gnomeAdd->setText(installed ? QStringLiteral("更新 GNOME 快捷键")
                                      : QStringLiteral("添加到 GNOME 快捷键"));
        m_gnomeAdd->setAccessibleName(m_gnomeAdd->text());
        m_gnomeRemove->setVisible(installed);
    }

    QWidget* actionRow(HotKeyAction action, QWidget* parent)
    {
        auto* row = new QWidget(parent);
        auto* h = new QHBoxLayout(row);
        h->setContentsMargins(0, 0, 0, 0);
        h->setSpacing(16);
        const SettingsPage page
            = action == HotKeyAction::capture ? SettingsPage::capture : SettingsPage::pin;
        h->addWidget(new IconTile(page, 30, row));
        auto* texts = new QVBoxLayout;
        texts->setSpacing(3);
        texts->addWidget(makeLabel(title(action), 13, QFont::Normal, false, row));
        texts->addWidget(makeLabel(detailOf(action), 11, QFont::Normal, true, row));
        h->addLayout(texts, 1);
        for (int slot = 0; slot < ShortcutStore::slots; ++slot)
            h->addWidget(new RecorderButton(model(), action, slot, row));
        return row;
    }

    Card* cheatCard(const QString& title, const QString& symbol, const QList<Cheat>& cheats)
    {
        auto* card = new Card(this);
        card->add(new CardTitle(title, symbol, QString(), card));
        for (const Cheat& c : cheats)
            card->add(new CheatRow(c.keys, QString::fromUtf8(c.text), card));
        return card;
    }

    void syncWarning()
    {
        const QStringList& failed = model().failed();
        const QString& limit = model().hotKeyReason();
        m_warning->setVisible(!failed.isEmpty() || !limit.isEmpty());
        m_warningText->setTextInteractionFlags(
            limit.isEmpty() ? Qt::NoTextInteraction : Qt::TextSelectableByMouse);
        m_warningText->setText(limit.isEmpty() ? failed.join(QStringLiteral("、"))
                    + QStringLiteral(" 注册失败，可能重复或被其他应用占用，换一个试试。")
                                               : bindYourselfText(limit));
        m_warningText->setAccessibleName(m_warningText->text());
        const QString& note = model().hotKeyNote();
        m_note->setVisible(!note.isEmpty());
        m_note->setText(note);
        m_note->setAccessibleName(note);
        syncGnome({});
    }

    // The desktop takes no global keys: the user binds them to the commands in its keyboard
    // settings; for sway and Hyprland, the lines to copy, with the keys recorded here.
    static QString bindYourselfText(const QString& limit)
    {
        QStringList sway, hyprland;
        for (HotKeyAction action : allHotKeyActions) {
            for (const Shortcut& s : ShortcutStore::all(action)) {
                sway.append(DesktopBindings::swayLine(s, action));
                hyprland.append(DesktopBindings::hyprlandLine(s, action));
            }
        }
        QString text = limit
            + QStringLiteral("。请在桌面的键盘设置里把按键绑定到命令“%1”（截图）和“%2”（贴图）。")
                  .arg(DesktopBindings::command(HotKeyAction::capture),
                      DesktopBindings::command(HotKeyAction::pin));
        if (!sway.isEmpty()) {
            text += QStringLiteral("\nsway 的配置里写：\n") + sway.join(QLatin1Char('\n'))
                + QStringLiteral("\nHyprland 的配置里写：\n") + hyprland.join(QLatin1Char('\n'));
        }
        return text;
    }

    QWidget* m_warning;
    QLabel* m_warningText;
    QLabel* m_note;
    QWidget* m_gnome = nullptr;
    QLabel* m_gnomeText = nullptr;
    QPushButton* m_gnomeAdd = nullptr;
    QPushButton* m_gnomeRemove = nullptr;
};

QFont ShortcutsPage::uiFontSmall()
{
    return quillet::uiFont(11);
}

} // namespace

PageBody* makeShortcutsPage(SettingsModel& model, QWidget* parent)
{
    return new ShortcutsPage(model, parent);
}

} // namespace quillet
