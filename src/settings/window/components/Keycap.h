#pragma once

#include <QStringList>
#include <QWidget>

namespace quillet {

// One key cap: the text in 12 pt semibold, 6 points of margin on each side, at least 24 wide
// and exactly 24 high, on a rounded key-coloured plate with a faint outline and shadow.
class Keycap final : public QWidget {
    Q_OBJECT
public:
    explicit Keycap(const QString& text, QWidget* parent = nullptr);
    const QString& text() const { return m_text; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    // Paints a cap of `text` into `rect` (the recorder button draws its caps this way).
    static void paint(QPainter& p, const QRectF& rect, const QString& text, const QWidget* w);
    static qreal widthFor(const QString& text);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString m_text;
};

// A row of key caps, 3 apart, centred; accessible as the keys read together.
class Keys final : public QWidget {
    Q_OBJECT
public:
    explicit Keys(const QStringList& keys, QWidget* parent = nullptr);
    void setKeys(const QStringList& keys);
    const QStringList& keys() const { return m_keys; }

private:
    QStringList m_keys;
};

// A cheat-sheet line: the text in 12 pt, a flexible space, the keys.
class CheatRow final : public QWidget {
    Q_OBJECT
public:
    CheatRow(const QStringList& keys, const QString& text, QWidget* parent = nullptr);
};

} // namespace quillet
