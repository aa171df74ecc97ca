// The capture page: selection aids, the veil's darkness, the default annotation style and the
// completion notice.
#include "capture/annotation/Annotation.h"
#include "settings/Prefs.h"
#include "settings/window/components/Card.h"
#include "settings/window/components/Choices.h"
#include "settings/window/components/DimPreview.h"
#include "settings/window/components/Look.h"
#include "settings/window/components/Switch.h"
#include "settings/window/pages/PageControls.h"
#include "settings/window/pages/Pages.h"
#include "ui/Icons.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <algorithm>
#include <cmath>

namespace quillet {

namespace {

const QList<double>& lineWidths()
{
    static const QList<double> w = {2, 4, 7, 12};
    return w;
}

const QList<double>& fontSizes()
{
    static const QList<double> s = {12, 14, 16, 18, 20, 24, 28, 32, 40, 48, 60, 72, 96};
    return s;
}

const char* const colorNames[] = {"红色", "黄色", "绿色", "蓝色", "紫色", "白色", "黑色"};

class CapturePage final : public PageBody {
public:
    CapturePage(SettingsModel& model, QWidget* parent)
        : PageBody(model, parent)
    {
        Card* selection = addCard(QStringLiteral("选区"), QStringLiteral("viewfinder"));
        selection->add(new SettingRow(QStringLiteral("自动识别窗口"),
            QStringLiteral("鼠标悬停时自动框出窗口，单击即可选中"),
            boundSwitch(Prefs::detectWindowsKey, Prefs::detectWindows()), selection));
        selection->add(new RowDivider(selection));
        selection->add(new SettingRow(QStringLiteral("放大镜"),
            QStringLiteral("显示像素放大、坐标和颜色值，按 C 复制颜色"),
            boundSwitch(Prefs::showMagnifierKey, Prefs::showMagnifier()), selection));
        selection->add(new RowDivider(selection));
        selection->add(new SettingRow(QStringLiteral("遮罩深浅"),
            QStringLiteral("选区外变暗的程度"), dimControl(), selection));

        Card* style = addCard(QStringLiteral("标注默认样式"), QStringLiteral("paintbrush.pointed"),
            QStringLiteral(
                "截图时在设置条里点选颜色、粗细、字号、文字样式，都会记到这里，下次沿用"));
        style->add(new SettingRow(QStringLiteral("颜色"), QString(), colorChoice(), style));
        style->add(new RowDivider(style));
        style->add(new SettingRow(QStringLiteral("粗细"), QString(), widthChoice(), style));
        style->add(new RowDivider(style));
        style->add(new SettingRow(QStringLiteral("字号"), QString(), sizeChoice(), style));
        style->add(new RowDivider(style));
        style->add(new SettingRow(QStringLiteral("文字样式"), QString(), textStyleChoice(), style));

        Card* done = addCard(QStringLiteral("完成后"), QStringLiteral("checkmark.circle"));
        done->add(new SettingRow(QStringLiteral("显示完成提示"),
            QStringLiteral("复制、保存后在屏幕底部弹出带缩略图的提示"),
            boundSwitch(Prefs::showToastKey, Prefs::showToast()), done));
        stack()->addStretch(1);
    }

private:
    QWidget* dimControl()
    {
        auto* box = new QWidget;
        auto* h = new QHBoxLayout(box);
        h->setContentsMargins(0, 0, 0, 0);
        h->setSpacing(8);
        const double alpha = std::clamp(Prefs::dimAlpha(), 0.1, 0.75);
        auto* preview = new DimPreview(alpha, box);
        QSlider* slider = percentSlider(Prefs::dimAlphaKey, alpha, 10, 75, box);
        slider->setFixedWidth(140);
        connect(slider, &QSlider::valueChanged, preview,
            [preview](int v) { preview->setAlpha(v / 100.0); });
        h->addWidget(new SymbolLabel(QStringLiteral("sun.max"), box));
        h->addWidget(slider);
        h->addWidget(new SymbolLabel(QStringLiteral("moon.fill"), box));
        h->addSpacing(6);
        h->addWidget(preview);
        // The row names the slider; the group itself is only layout.
        box->setAccessibleName(QString());
        slider->setAccessibleName(QStringLiteral("遮罩深浅"));
        return box;
    }

    QWidget* colorChoice()
    {
        auto* row = new ChoiceRow(4);
        for (size_t i = 0; i < quillet::palette().size(); ++i)
            row->add(
                new SwatchButton(quillet::palette()[i], QString::fromUtf8(colorNames[i]), row));
        // The overlay clamps a stored index into the palette; so does the mark.
        const qint64 stored = Prefs::defaultColor();
        row->setCurrent(int(std::clamp<qint64>(stored, 0, qint64(quillet::palette().size()) - 1)));
        connect(row, &ChoiceRow::chosen, row, [](int i) { Prefs::setDefaultColor(i); });
        return row;
    }

    QWidget* widthChoice()
    {
        auto* row = new ChoiceRow(6);
        for (double w : lineWidths())
            row->add(new WidthButton(w, row));
        row->setCurrent(int(lineWidths().indexOf(Prefs::defaultWidth())));
        connect(row, &ChoiceRow::chosen, row,
            [](int i) { Prefs::setDefaultWidth(lineWidths().value(i, 4)); });
        return row;
    }

    QWidget* sizeChoice()
    {
        auto* box = new QComboBox;
        for (double s : fontSizes())
            box->addItem(QString::number(qint64(s)) + QStringLiteral(" pt"), s);
        const double stored = Prefs::fontSize();
        int index = int(fontSizes().indexOf(stored));
        if (index < 0 && std::isfinite(stored) && stored > 0) {
            // A size written elsewhere that the list lacks stays visible rather than vanishing.
            box->addItem(QString::number(qRound64(stored)) + QStringLiteral(" pt"), stored);
            index = box->count() - 1;
        }
        box->setCurrentIndex(std::max(index, 0));
        connect(box, &QComboBox::activated, box,
            [box](int i) { Prefs::setFontSize(box->itemData(i).toDouble()); });
        return box;
    }

    QWidget* textStyleChoice()
    {
        auto* row = new ChoiceRow(0);
        row->addSegment(QStringLiteral("普通"));
        row->addSegment(QStringLiteral("色块底"));
        row->addSegment(QStringLiteral("描边"));
        row->setCurrent(int(std::clamp<qint64>(Prefs::textStyle(), 0, 2)));
        connect(row, &ChoiceRow::chosen, row, [](int i) { Prefs::setTextStyle(i); });
        return row;
    }
};

} // namespace

PageBody* makeCapturePage(SettingsModel& model, QWidget* parent)
{
    return new CapturePage(model, parent);
}

} // namespace quillet
