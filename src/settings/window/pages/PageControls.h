#pragma once

#include <QSlider>
#include <QString>
#include <QWidget>

namespace quillet {

class Switch;

// A switch showing a boolean preference and writing it at once when toggled.
Switch* boundSwitch(const char* key, bool value, QWidget* parent = nullptr);

// A horizontal slider over whole percentages [min, max] of a real preference (0.1 … 0.75 is 10
// … 75); every move writes the value at once. Arrow keys step by one percent.
QSlider* percentSlider(const char* key, double value, int min, int max, QWidget* parent = nullptr);

// A small symbol in the secondary colour, beside a slider's ends.
class SymbolLabel final : public QWidget {
    Q_OBJECT
public:
    explicit SymbolLabel(const QString& symbol, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString m_symbol;
};

} // namespace quillet
