#pragma once

#include <QMenu>
#include <memory>

class QAction;
class QStyle;

namespace quillet {

class AppDelegate;

// The tray's menu: capture, pin, close all pins, settings, about, quit. The first two items
// carry their shortcuts in a grey column on the right.
class StatusMenu final : public QMenu {
    Q_OBJECT
public:
    explicit StatusMenu(AppDelegate* target);
    ~StatusMenu() override;

    QAction* captureItem() const { return m_captureItem; }
    QAction* pinItem() const { return m_pinItem; }
    QAction* settingsItem() const { return m_settingsItem; }
    QAction* aboutItem() const { return m_aboutItem; }
    QAction* quitItem() const { return m_quitItem; }

    // The title followed by a tab and the shortcut; the tab puts the shortcut into the menu's
    // right-hand column, which this menu's style paints grey.
    static void setTitle(QAction* item, const QString& title, const QString& shortcut);

private:
    std::unique_ptr<QStyle> m_style;
    QAction* m_captureItem = nullptr;
    QAction* m_pinItem = nullptr;
    QAction* m_settingsItem = nullptr;
    QAction* m_aboutItem = nullptr;
    QAction* m_quitItem = nullptr;
};

} // namespace quillet
