#pragma once

#include "settings/window/SettingsPage.h"

#include <QString>
#include <QWidget>

namespace quillet {

// A size × size gradient tile (corner radius size × 0.24, top to bottom) with a white symbol at
// half its size. Sizes: 22 in the sidebar, 46 in the page header, 34 for features, 30 for the
// shortcut rows.
class IconTile final : public QWidget {
    Q_OBJECT
public:
    IconTile(const QString& symbol, TileColors colors, int size, QWidget* parent = nullptr);
    IconTile(SettingsPage page, int size, QWidget* parent = nullptr);

    const QString& symbol() const { return m_symbol; }
    void setPage(SettingsPage page);

    // Paints a tile into `rect` (also used by the sidebar rows).
    static void paint(
        QPainter& p, const QRectF& rect, const QString& symbol, const TileColors& colors);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString m_symbol;
    TileColors m_colors;
};

} // namespace quillet
