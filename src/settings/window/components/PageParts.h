#pragma once

#include "settings/window/SettingsPage.h"

#include <QAbstractButton>
#include <QWidget>

class QLabel;

namespace quillet {

class IconTile;

// One sidebar entry: the page's 22-point tile and its title. Checkable; the sidebar keeps one
// checked, the selected page.
class SidebarRow final : public QAbstractButton {
    Q_OBJECT
public:
    explicit SidebarRow(SettingsPage page, QWidget* parent = nullptr);
    SettingsPage page() const { return m_page; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void focusInEvent(QFocusEvent*) override;

private:
    SettingsPage m_page;
    // The focus ring shows when focus came from the keyboard, not after every click.
    bool m_keyboardFocus = false;
};

// The detail column's header: the page's 46-point tile, its title in 22 pt bold over the
// subtitle in 12 pt secondary.
class PageHeader final : public QWidget {
    Q_OBJECT
public:
    explicit PageHeader(SettingsPage page, QWidget* parent = nullptr);
};

// An about-page feature line: a 34-point tile, the title in 14 pt semibold over the text.
class Feature final : public QWidget {
    Q_OBJECT
public:
    Feature(const QString& symbol, TileColors colors, const QString& title, const QString& text,
        QWidget* parent = nullptr);
};

} // namespace quillet
