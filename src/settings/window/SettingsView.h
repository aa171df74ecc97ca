#pragma once

#include <QWidget>

namespace quillet {

class SettingsModel;

// The settings window's content: sidebar and the selected page.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    explicit SettingsView(SettingsModel& model, QWidget* parent = nullptr);
};

} // namespace quillet
