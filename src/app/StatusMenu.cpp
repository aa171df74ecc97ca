#include "app/StatusMenu.h"

#include "app/AppDelegate.h"
#include "ui/Icons.h"

#include <QAction>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>

namespace quillet {

namespace {

// Paints the text after a menu item's tab (its shortcut column) flush right in a secondary,
// grey tone; everything else is the application style's own drawing.
class ShortcutColumnStyle final : public QProxyStyle {
public:
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
        const QWidget* widget) const override
    {
        const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
        const qsizetype tab = item ? item->text.indexOf(QLatin1Char('\t')) : -1;
        if (element != CE_MenuItem || !item || tab < 0
            || item->menuItemType != QStyleOptionMenuItem::Normal) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        QStyleOptionMenuItem titleOnly(*item);
        titleOnly.text = item->text.left(tab);
        QProxyStyle::drawControl(element, &titleOnly, painter, widget);

        const bool selected = (item->state & State_Selected) && (item->state & State_Enabled);
        QColor grey = item->palette.color(selected ? QPalette::HighlightedText : QPalette::Text);
        grey.setAlphaF(selected ? 0.75 : 0.5);
        painter->save();
        painter->setPen(grey);
        painter->setFont(item->font);
        const int rightMargin = pixelMetric(PM_MenuHMargin, option, widget) + 14;
        const QRect column = item->rect.adjusted(0, 0, -rightMargin, 0);
        painter->drawText(column, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
            item->text.mid(tab + 1));
        painter->restore();
    }
};

QAction* addItem(QMenu* menu, const QString& title, const char* symbol)
{
    QAction* a = menu->addAction(symbolIcon(QString::fromLatin1(symbol)), title);
    a->setIconVisibleInMenu(true);
    return a;
}

} // namespace

StatusMenu::StatusMenu(AppDelegate* target)
    : m_style(std::make_unique<ShortcutColumnStyle>())
{
    setStyle(m_style.get());
    // Room for the title and the shortcut column side by side.
    setMinimumWidth(220);

    m_captureItem = addItem(this, QStringLiteral("截图"), "scissors");
    connect(m_captureItem, &QAction::triggered, target, &AppDelegate::startCapture);
    m_pinItem = addItem(this, QStringLiteral("贴图"), "pin");
    connect(m_pinItem, &QAction::triggered, target, &AppDelegate::pinClipboard);
    QAction* closeAll = addItem(this, QStringLiteral("关闭所有贴图"), "xmark.square");
    connect(closeAll, &QAction::triggered, target, &AppDelegate::closeAllPins);
    addSeparator();
    m_settingsItem = addItem(this, QStringLiteral("设置…"), "gearshape");
    m_settingsItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    connect(m_settingsItem, &QAction::triggered, target, &AppDelegate::showSettings);
    m_aboutItem = addItem(this, QStringLiteral("关于墨钉"), "info.circle");
    connect(m_aboutItem, &QAction::triggered, target, &AppDelegate::showAbout);
    addSeparator();
    m_quitItem = addItem(this, QStringLiteral("退出墨钉"), "power");
    m_quitItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(m_quitItem, &QAction::triggered, target, &AppDelegate::quit);
}

StatusMenu::~StatusMenu()
{
    // The widget must let go of the style before the style goes.
    setStyle(nullptr);
}

void StatusMenu::setTitle(QAction* item, const QString& title, const QString& shortcut)
{
    if (item)
        item->setText(title + QLatin1Char('\t') + shortcut);
}

} // namespace quillet
