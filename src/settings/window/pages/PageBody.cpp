#include "settings/window/components/Card.h"
#include "settings/window/pages/Pages.h"

namespace quillet {

PageBody* makeGeneralPage(SettingsModel& model, QWidget* parent);
PageBody* makeShortcutsPage(SettingsModel& model, QWidget* parent);
PageBody* makeCapturePage(SettingsModel& model, QWidget* parent);
PageBody* makeSavePage(SettingsModel& model, QWidget* parent);
PageBody* makePinPage(SettingsModel& model, QWidget* parent);
PageBody* makeAboutPage(SettingsModel& model, QWidget* parent);

PageBody::PageBody(SettingsModel& model, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
    , m_stack(new QVBoxLayout(this))
{
    m_stack->setContentsMargins(0, 0, 0, 0);
    m_stack->setSpacing(14);
}

Card* PageBody::addCard(const QString& title, const QString& symbol, const QString& note)
{
    auto* card = new Card(this);
    card->add(new CardTitle(title, symbol, note, card));
    m_stack->addWidget(card);
    return card;
}

PageBody* makePage(SettingsPage page, SettingsModel& model, QWidget* parent)
{
    switch (page) {
    case SettingsPage::general:
        return makeGeneralPage(model, parent);
    case SettingsPage::shortcuts:
        return makeShortcutsPage(model, parent);
    case SettingsPage::capture:
        return makeCapturePage(model, parent);
    case SettingsPage::save:
        return makeSavePage(model, parent);
    case SettingsPage::pin:
        return makePinPage(model, parent);
    case SettingsPage::about:
        break;
    }
    return makeAboutPage(model, parent);
}

} // namespace quillet
