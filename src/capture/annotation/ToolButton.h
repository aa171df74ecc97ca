#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QImage>
#include <QString>

class QVariantAnimation;

namespace quillet {

// The one button of the toolbar and the style bar: borderless, 32 points high, rounded 8, with a
// background that follows its state (on, prominent, hovered) over 0.12 s. Its content is a symbol
// from the program's icon set, a template image tinted like a symbol, a full-colour image, or
// (the OK button) a symbol followed by a title.
class ToolButton final : public QAbstractButton {
    Q_OBJECT
public:
    // `symbol` "T" shows the drawn letter; an empty symbol shows no image.
    ToolButton(const QString& symbol, const QString& tip, QWidget* parent = nullptr);
    ~ToolButton() override;

    bool isOn() const { return m_on; }
    void setOn(bool on);
    bool prominent() const { return m_prominent; }
    void setProminent(bool prominent);
    bool hover() const { return m_hover; }

    // An alpha mask drawn in the content tint, like a symbol.
    void setTemplateImage(const QImage& image);
    // An image drawn as it is (colour and width choices).
    void setImage(const QImage& image);
    // A symbol before a title, both in the content tint (the OK button).
    void setTitle(const QString& symbol, const QString& title);

    void setTag(int tag) { m_tag = tag; }
    int tag() const { return m_tag; }
    const QString& symbol() const { return m_symbol; }

    // Background and content colours the current state asks for.
    QColor targetBackground() const;
    QColor tint() const;
    QColor shownBackground() const { return m_background; }

    // Brings the look up to date with the flags (animated background, immediate tint).
    void refresh();

    // The drawn letter of the text tool: 18 x 18 points, black on transparent.
    static QImage letterIcon(const QString& letter, qreal dpr = 2);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;

private:
    QString m_symbol;
    QString m_title;
    QString m_titleSymbol;
    QImage m_template;
    QImage m_image;
    bool m_on = false;
    bool m_prominent = false;
    bool m_hover = false;
    int m_tag = 0;
    QColor m_background = Qt::transparent;
    QVariantAnimation* m_fade = nullptr;
};

// The icon of a text-style button: a 20 x 20 point template image of a "T" (plain, cut out of a
// block, or outlined).
QImage textStyleIcon(int style, qreal dpr = 2);

// An image tinted with `color` through its alpha (a template image made ready to draw).
QImage tinted(const QImage& mask, const QColor& color);

} // namespace quillet
