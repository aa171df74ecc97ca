#pragma once

#include <QAbstractButton>

namespace quillet {

class SettingsModel;

// The capture permission at the bottom of the sidebar: a glowing dot, green when granted and
// orange when not, and "录屏权限已开启" or "未开启录屏权限". Clicking it shows the general page.
class PermissionBadge final : public QAbstractButton {
    Q_OBJECT
public:
    explicit PermissionBadge(SettingsModel& model, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void sync();
    SettingsModel& m_model;
};

} // namespace quillet
