#pragma once

#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QString>
#include <QVBoxLayout>

namespace quillet {

// A label in the interface font; `secondary` draws it in the secondary colour and lets it wrap.
// Its accessible name is its text, so a screen reader reads it however it is laid out.
QLabel* makeLabel(const QString& text, qreal size, QFont::Weight weight = QFont::Normal,
    bool secondary = false, QWidget* parent = nullptr);

// A label in the warning colour: a deeper orange on light backgrounds, a lighter one on dark
// ones, so it stays readable in both schemes and follows a change of scheme.
class WarningLabel final : public QLabel {
    Q_OBJECT
public:
    explicit WarningLabel(qreal size, QWidget* parent = nullptr);

protected:
    void changeEvent(QEvent* e) override;

private:
    void tint();
    bool m_tinting = false;
};

// A rounded panel holding a vertical stack of rows: radius 14, margins 18, faint outline and
// shadow, full width.
class Card final : public QFrame {
    Q_OBJECT
public:
    explicit Card(QWidget* parent = nullptr);

    void add(QWidget* row);
    void add(QLayout* row);
    QVBoxLayout* stack() const { return m_stack; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QVBoxLayout* m_stack;
};

// A card's title line: symbol and title in 13 pt semibold, then optional trailing text (or a
// trailing widget, the shortcuts card's "恢复默认").
class CardTitle final : public QWidget {
    Q_OBJECT
public:
    CardTitle(const QString& title, const QString& symbol, const QString& trailing = QString(),
        QWidget* parent = nullptr);
    void setTrailingWidget(QWidget* w);
    const QString& title() const { return m_title; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString m_title;
    QString m_symbol;
    QLabel* m_titleLabel;
};

// One row: the title in 13 pt over an optional wrapping detail in 11 pt secondary, a flexible
// space, then the control. The control's accessible name is the row's title.
class SettingRow final : public QWidget {
    Q_OBJECT
public:
    SettingRow(
        const QString& title, const QString& detail, QWidget* trailing, QWidget* parent = nullptr);
    QWidget* trailing() const { return m_trailing; }

private:
    QWidget* m_trailing;
};

// The thin separator between rows.
class RowDivider final : public QWidget {
    Q_OBJECT
public:
    explicit RowDivider(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;
};

} // namespace quillet
