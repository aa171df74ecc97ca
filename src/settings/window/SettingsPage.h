#pragma once

#include <QColor>
#include <QString>
#include <array>
#include <optional>

namespace quillet {

// The pages of the settings window, in the order of its sidebar.
enum class SettingsPage { general, shortcuts, capture, save, pin, about };

inline constexpr std::array<SettingsPage, 6> allSettingsPages
    = {SettingsPage::general, SettingsPage::shortcuts, SettingsPage::capture, SettingsPage::save,
        SettingsPage::pin, SettingsPage::about};

// Two opaque colours, top to bottom, of the page's icon tile gradient.
struct TileColors {
    QColor top;
    QColor bottom;
};

// "general" … "about": what the command line and the stored state name a page by.
QString rawValue(SettingsPage page);
std::optional<SettingsPage> settingsPageFromRaw(const QString& raw);

QString title(SettingsPage page);
QString subtitle(SettingsPage page);
// A name of the program's symbol set.
QString symbol(SettingsPage page);
TileColors colors(SettingsPage page);

} // namespace quillet
