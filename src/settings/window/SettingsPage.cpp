#include "settings/window/SettingsPage.h"

#include "ui/Accent.h"

namespace quillet {

namespace {

struct PageFacts {
    const char* raw;
    const char* title;
    const char* subtitle;
    const char* symbol;
};

// Indexed by the enumeration's value.
constexpr std::array<PageFacts, allSettingsPages.size()> facts = {{
    {"general", "通用", "权限与启动", "gearshape.fill"},
    {"shortcuts", "快捷键", "全局快捷键，以及截图、贴图时的按键", "command"},
    {"capture", "截图", "选区、放大镜和标注的默认样式", "scissors"},
    {"save", "保存", "截图保存到哪里、怎么保存", "folder.fill"},
    {"pin", "贴图", "钉在屏幕上的图片", "pin.fill"},
    {"about", "关于墨钉", "截图 · 标注 · 贴图", "info"},
}};

const PageFacts& of(SettingsPage page)
{
    return facts[static_cast<std::size_t>(page)];
}

} // namespace

QString rawValue(SettingsPage page)
{
    return QString::fromLatin1(of(page).raw);
}

std::optional<SettingsPage> settingsPageFromRaw(const QString& raw)
{
    for (SettingsPage page : allSettingsPages) {
        if (raw == QLatin1String(of(page).raw))
            return page;
    }
    return std::nullopt;
}

QString title(SettingsPage page)
{
    return QString::fromUtf8(of(page).title);
}

QString subtitle(SettingsPage page)
{
    return QString::fromUtf8(of(page).subtitle);
}

QString symbol(SettingsPage page)
{
    return QString::fromLatin1(of(page).symbol);
}

TileColors colors(SettingsPage page)
{
    switch (page) {
    case SettingsPage::general:
        return {white(0.62), white(0.45)};
    case SettingsPage::shortcuts:
        return {srgb(0.45, 0.47, 1.0), srgb(0.36, 0.30, 0.90)};
    case SettingsPage::capture:
        return {srgb(0.25, 0.68, 1.0), srgb(0.10, 0.48, 0.95)};
    case SettingsPage::save:
        return {srgb(1.0, 0.70, 0.25), srgb(0.98, 0.52, 0.12)};
    case SettingsPage::pin:
        return {srgb(1.0, 0.42, 0.45), srgb(0.90, 0.22, 0.32)};
    case SettingsPage::about:
        return {srgb(0.30, 0.80, 0.75), srgb(0.12, 0.62, 0.62)};
    }
    return {white(0.62), white(0.45)};
}

} // namespace quillet
