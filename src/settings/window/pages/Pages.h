#pragma once

#include "settings/window/SettingsPage.h"

#include <QString>
#include <QVBoxLayout>
#include <QWidget>
#include <functional>
#include <optional>

namespace quillet {

class SettingsModel;
class Card;

// The cards of one settings page, stacked. Every value is read from the preferences, the
// shortcut store or the model when the page is made, so a page made anew shows current values.
class PageBody : public QWidget {
    Q_OBJECT
public:
    explicit PageBody(SettingsModel& model, QWidget* parent = nullptr);

protected:
    Card* addCard(const QString& title, const QString& symbol, const QString& note = QString());
    QVBoxLayout* stack() const { return m_stack; }
    SettingsModel& model() const { return m_model; }

private:
    SettingsModel& m_model;
    QVBoxLayout* m_stack;
};

// The cards of `page`, for the detail column (below its header).
PageBody* makePage(SettingsPage page, SettingsModel& model, QWidget* parent = nullptr);

// The folder chooser of the save page: starts in `start`, answers the chosen folder or nothing
// when cancelled. Replaceable, so tests never sit in a modal dialog.
std::function<std::optional<QString>(const QString& start, QWidget* parent)>& folderChooser();

} // namespace quillet
