#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QList>
#include <QStringList>
#include <functional>

class QButtonGroup;

namespace quillet {

// A round colour swatch of the annotation palette; the current one carries a ring.
class SwatchButton final : public QAbstractButton {
    Q_OBJECT
public:
    SwatchButton(const QColor& color, const QString& name, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {24, 24}; }
    const QColor& color() const { return m_color; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor m_color;
};

// A button showing a line of one width; the current one is marked.
class WidthButton final : public QAbstractButton {
    Q_OBJECT
public:
    explicit WidthButton(double width, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {36, 26}; }
    double lineWidth() const { return m_width; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    double m_width;
};

// A row of exclusive checkable buttons reporting the index chosen: the swatches, the widths,
// the segmented text-style picker. Arrow keys move between them as in a radio group.
class ChoiceRow final : public QWidget {
    Q_OBJECT
public:
    explicit ChoiceRow(int spacing, QWidget* parent = nullptr);
    void add(QAbstractButton* b);
    // A segment of a segmented picker, drawn as one piece of a rounded bar.
    void addSegment(const QString& text);
    void setCurrent(int index);
    int current() const;
    QAbstractButton* button(int index) const;
    int count() const;

Q_SIGNALS:
    void chosen(int index);

private:
    QButtonGroup* m_group;
};

} // namespace quillet
