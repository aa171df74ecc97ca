#pragma once

#include "settings/window/SettingsPage.h"

#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>

class QScrollArea;
class QVBoxLayout;

namespace quillet {

class SettingsModel;
class SidebarRow;
class PermissionBadge;
class PageBody;

// The settings window's content: a sidebar of the six pages with the permission badge at its
// foot, and the selected page (header and cards) in a scrolling detail column.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    explicit SettingsView(SettingsModel& model, QWidget* parent = nullptr);

    SidebarRow* sidebarRow(SettingsPage page) const;
    PermissionBadge* badge() const { return m_badge; }
    // The page on show and its cards.
    SettingsPage shownPage() const { return m_shown; }
    PageBody* body() const { return m_body; }

protected:
    void showEvent(QShowEvent*) override;

private:
    // Makes the page anew from current values; `animate` slides and fades it in.
    void showPage(bool animate);

    SettingsModel& m_model;
    QList<SidebarRow*> m_rows;
    PermissionBadge* m_badge;
    QScrollArea* m_scroll;
    QPointer<QWidget> m_content;
    QPointer<PageBody> m_body;
    SettingsPage m_shown = SettingsPage::general;
    QVariantAnimation m_entrance;
};

} // namespace quillet
