#include "settings/window/SettingsView.h"

#include "settings/window/SettingsModel.h"

#include <QLabel>
#include <QVBoxLayout>

namespace quillet {

SettingsView::SettingsView(SettingsModel& model, QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    auto* heading = new QLabel(title(model.shownPage()), this);
    layout->addWidget(heading);
    layout->addStretch();
    connect(&model, &SettingsModel::pageChanged, heading,
        [heading, &model] { heading->setText(title(model.shownPage())); });
}

} // namespace quillet
