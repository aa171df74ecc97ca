#include "Pixels.h"
#include "output/PinWindow.h"
#include "platform/SystemServices.h"
#include "settings/Prefs.h"
#include "settings/ShortcutStore.h"
#include "settings/window/SettingsModel.h"
#include "settings/window/SettingsView.h"
#include "settings/window/SettingsWindow.h"
#include "settings/window/components/Choices.h"
#include "settings/window/components/DimPreview.h"
#include "settings/window/components/Keycap.h"
#include "settings/window/components/Look.h"
#include "settings/window/components/PageParts.h"
#include "settings/window/components/PermissionBadge.h"
#include "settings/window/components/RecorderButton.h"
#include "settings/window/components/Switch.h"
#include "settings/window/pages/Pages.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QEnterEvent>
#include <QLabel>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>

#include "FakeSystemServices.h"

using namespace quillet;

namespace {

using FakeServices = test::FakeSystemServices;

class SettingsPagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        old = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
        Prefs::registerDefaults();
        model = std::make_unique<SettingsModel>(&services);
        model->pause = [this](bool on) { paused.append(on); };
    }
    void TearDown() override
    {
        model->stopRecording();
        view.reset();
        model.reset();
        qputenv("XDG_CONFIG_HOME", old);
    }

    SettingsView& open(SettingsPage page)
    {
        model->setPage(page);
        if (!view)
            view = std::make_unique<SettingsView>(*model);
        view->resize(860, 620);
        view->show();
        return *view;
    }

    // Every text a user or a screen reader meets on the page shown.
    QStringList texts() const
    {
        QStringList all;
        for (const QWidget* w : view->findChildren<QWidget*>()) {
            if (!w->isVisibleTo(view.get()))
                continue;
            if (const auto* l = qobject_cast<const QLabel*>(w))
                all << l->text();
            if (const auto* b = qobject_cast<const QAbstractButton*>(w))
                all << b->text();
            all << w->accessibleName();
        }
        return all;
    }

    template<typename T> T* control(const QString& accessibleName) const
    {
        for (T* w : view->body()->findChildren<T*>()) {
            // Labels carry their text as their name too; a control is what is sought.
            if (w->accessibleName() == accessibleName && !qobject_cast<QLabel*>(w))
                return w;
        }
        return nullptr;
    }

    QVariant stored(const char* key) const { return Prefs::store()->value(QLatin1String(key)); }
    // All shown texts as one line, to look for a part of one.
    QString allText() const { return texts().join('|'); }
    RecorderButton* recorder(const QString& id) const
    {
        for (RecorderButton* b : view->body()->findChildren<RecorderButton*>()) {
            if (b->identifier() == id)
                return b;
        }
        return nullptr;
    }

    QTemporaryDir home;
    QByteArray old;
    FakeServices services;
    std::unique_ptr<SettingsModel> model;
    std::unique_ptr<SettingsView> view;
    QList<bool> paused;
};

struct PageTexts {
    SettingsPage page;
    QStringList texts;
};

} // namespace

TEST_F(SettingsPagesTest, EveryPageShowsTheTextsOfItsCards)
{
    // A few texts per page that only its own cards show, and the keys in Linux notation.
    const QList<PageTexts> table = {
        {SettingsPage::general, {"权限与启动", "已开启，可以正常截图", "开机时自动启动"}},
        {SettingsPage::shortcuts,
            {"全局快捷键", "复制并完成", "微调选区 / 准星", "Ctrl Shift Z", "Alt 滚轮", "1 – 8"}},
        {SettingsPage::capture, {"自动识别窗口", "遮罩深浅", "标注默认样式", "描边"}},
        {SettingsPage::save, {"保存位置", "Ctrl+S 直接保存", "按截图时间命名，PNG 格式"}},
        {SettingsPage::pin, {"窗口阴影", "默认不透明度", "100%", "关闭全部"}},
        {SettingsPage::about,
            {QStringLiteral("版本 " QUILLET_VERSION), "快速上手", "F1", "F3", "查看全部快捷键"}},
    };
    for (const PageTexts& row : table) {
        open(row.page);
        EXPECT_EQ(view->shownPage(), row.page);
        const QStringList shown = texts();
        for (const QString& t : row.texts)
            EXPECT_TRUE(shown.contains(t))
                << qPrintable(rawValue(row.page)) << ": " << qPrintable(t);
        // Keys read in Linux notation: none of another keyboard's modifier symbols.
        for (const QString& t : shown) {
            for (const QChar mac : QStringView(u"⌃⌥⇧⌘"))
                EXPECT_FALSE(t.contains(mac)) << qPrintable(t);
        }
        EXPECT_TRUE(view->sidebarRow(row.page)->isChecked());
    }
    // The sidebar lists the six pages in order whatever is shown.
    for (SettingsPage page : allSettingsPages)
        EXPECT_EQ(view->sidebarRow(page)->text(), title(page));
}

TEST_F(SettingsPagesTest, ControlsWriteTheirPreferenceAtOnce)
{
    struct Case {
        SettingsPage page;
        QString control;
        std::function<void(QWidget*)> act;
        const char* key;
        QVariant expected;
    };
    const auto toggle = [](QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); };
    const auto slide
        = [](int v) { return [v](QWidget* w) { static_cast<QSlider*>(w)->setValue(v); }; };
    const auto choose
        = [](int i) { return [i](QWidget* w) { static_cast<ChoiceRow*>(w)->button(i)->click(); }; };
    const QList<Case> table = {
        {SettingsPage::capture, "自动识别窗口", toggle, Prefs::detectWindowsKey, false},
        {SettingsPage::capture, "放大镜", toggle, Prefs::showMagnifierKey, false},
        {SettingsPage::capture, "显示完成提示", toggle, Prefs::showToastKey, false},
        {SettingsPage::capture, "遮罩深浅", slide(30), Prefs::dimAlphaKey, 0.3},
        // Below the range the slider stops at its end: 0.1, never lighter.
        {SettingsPage::capture, "遮罩深浅", slide(2), Prefs::dimAlphaKey, 0.1},
        {SettingsPage::capture, "颜色", choose(3), Prefs::defaultColorKey, 3},
        {SettingsPage::capture, "粗细", choose(2), Prefs::defaultWidthKey, 7.0},
        {SettingsPage::capture, "文字样式", choose(2), Prefs::textStyleKey, 2},
        {SettingsPage::capture, "字号",
            [](QWidget* w) {
                auto* box = static_cast<QComboBox*>(w);
                Q_EMIT box->activated(box->findText("24 pt"));
            },
            Prefs::fontSizeKey, 24.0},
        {SettingsPage::save, "Ctrl+S 直接保存", toggle, Prefs::quickSaveKey, true},
        {SettingsPage::pin, "窗口阴影", toggle, Prefs::pinShadowKey, false},
        {SettingsPage::pin, "默认不透明度", slide(55), Prefs::pinOpacityKey, 0.55},
        {SettingsPage::pin, "默认不透明度", slide(10), Prefs::pinOpacityKey, 0.3},
    };
    for (const Case& c : table) {
        open(c.page);
        // A slider row names both the slider and the group around it; the slider is acted on.
        QWidget* w = control<QSlider>(c.control);
        if (!w)
            w = control<QWidget>(c.control);
        ASSERT_TRUE(w) << qPrintable(c.control);
        c.act(w);
        const QVariant v = stored(c.key);
        if (c.expected.typeId() == QMetaType::Double)
            EXPECT_NEAR(v.toDouble(), c.expected.toDouble(), 1e-9) << qPrintable(c.control);
        else
            EXPECT_EQ(v.toString(), c.expected.toString()) << qPrintable(c.control);
    }
    // The login switch shows the desktop's state.
    open(SettingsPage::general);
    auto* login = control<Switch>("开机时自动启动");
    ASSERT_TRUE(login);
    EXPECT_FALSE(login->isChecked());
    QTest::mouseClick(login, Qt::LeftButton);
    EXPECT_TRUE(services.login);
    EXPECT_TRUE(login->isChecked());
    // What the accessors (the capture overlay, pins) read is what was written.
    EXPECT_FALSE(Prefs::detectWindows());
    EXPECT_EQ(Prefs::defaultColor(), 3);
    EXPECT_EQ(Prefs::fontSize(), 24.0);
    EXPECT_NEAR(Prefs::pinOpacity(), 0.3, 1e-9);
}

TEST_F(SettingsPagesTest, NonsenseInTheSettingsFileShowsDefaultsOrRangeEnds)
{
    auto s = Prefs::store();
    s->setValue(Prefs::dimAlphaKey, "dark");
    s->setValue(Prefs::pinOpacityKey, 0.01);
    s->setValue(Prefs::defaultColorKey, 99);
    s->setValue(Prefs::textStyleKey, -4);
    s->setValue(Prefs::showMagnifierKey, "maybe");
    s->sync();
    open(SettingsPage::capture);
    EXPECT_EQ(control<QSlider>("遮罩深浅")->value(), 42);
    EXPECT_EQ(control<ChoiceRow>("颜色")->current(), 6);
    EXPECT_EQ(control<ChoiceRow>("文字样式")->current(), 0);
    EXPECT_TRUE(control<Switch>("放大镜")->isChecked());
    EXPECT_EQ(view->body()->findChild<DimPreview*>()->alpha(), 0.42);
    open(SettingsPage::pin);
    EXPECT_EQ(control<QSlider>("默认不透明度")->value(), 30);
    EXPECT_TRUE(texts().contains("30%"));
}

TEST_F(SettingsPagesTest, RecorderShowsKeyCapsAndRecordsWithTheModel)
{
    open(SettingsPage::shortcuts);
    ASSERT_EQ(view->body()->findChildren<RecorderButton*>().size(), 4);
    RecorderButton* capture0 = recorder("capture.0");
    RecorderButton* capture1 = recorder("capture.1");
    RecorderButton* pin0 = recorder("pin.0");
    ASSERT_TRUE(capture0 && capture1 && pin0 && recorder("pin.1"));
    EXPECT_EQ(capture0->labelText(), "F1");
    EXPECT_EQ(capture1->labelText(), "Ctrl+Shift+A");
    EXPECT_EQ(capture0->toolTip(), "点击后按下新的快捷键");

    QTest::mouseClick(capture0, Qt::LeftButton);
    EXPECT_TRUE(capture0->isRecording());
    EXPECT_EQ(capture0->labelText(), "按下快捷键…");
    EXPECT_EQ(capture0->toolTip(), "按 Esc 取消，Delete 清空");
    EXPECT_EQ(paused, QList<bool>({true}));

    // Another slot's button takes over the recording; the first is left as it was.
    QTest::mouseClick(pin0, Qt::LeftButton);
    EXPECT_FALSE(capture0->isRecording());
    EXPECT_TRUE(pin0->isRecording());
    EXPECT_EQ(ShortcutStore::get(HotKeyAction::capture, 0)->label, "F1");

    // F1 while recording pin.0 moves it there: capture.0 becomes explicitly unbound.
    QTest::keyClick(pin0, Qt::Key_F1);
    EXPECT_FALSE(pin0->isRecording());
    EXPECT_EQ(ShortcutStore::get(HotKeyAction::pin, 0)->label, "F1");
    EXPECT_FALSE(ShortcutStore::get(HotKeyAction::capture, 0).has_value());
    EXPECT_EQ(capture0->labelText(), "点击录制");
    EXPECT_EQ(paused.last(), false);

    // Delete clears; "恢复默认" brings every default back.
    QTest::mouseClick(capture1, Qt::LeftButton);
    QTest::keyClick(capture1, Qt::Key_Delete);
    EXPECT_FALSE(ShortcutStore::get(HotKeyAction::capture, 1).has_value());
    control<QAbstractButton>("恢复默认")->click();
    EXPECT_EQ(capture0->labelText(), "F1");
    EXPECT_EQ(capture1->labelText(), "Ctrl+Shift+A");
    EXPECT_EQ(pin0->labelText(), "F3");

    // Hovered, a bound button offers to clear its slot without recording; unbound, a click there
    // records.
    RecorderButton* pin1 = recorder("pin.1");
    QEnterEvent enter(QPointF(60, 18), QPointF(60, 18), QPointF(60, 18));
    QCoreApplication::sendEvent(pin1, &enter);
    QTest::mouseClick(pin1, Qt::LeftButton, {}, pin1->clearRect().center().toPoint());
    EXPECT_FALSE(model->recording());
    EXPECT_FALSE(ShortcutStore::get(HotKeyAction::pin, 1).has_value());
    EXPECT_EQ(pin1->labelText(), "点击录制");
    QTest::mouseClick(pin1, Qt::LeftButton, {}, pin1->clearRect().center().toPoint());
    EXPECT_TRUE(pin1->isRecording());

    // Leaving the page ends a recording and takes the hot keys back.
    ASSERT_TRUE(model->recording());
    model->setPage(SettingsPage::about);
    EXPECT_FALSE(model->recording());
    EXPECT_EQ(paused.last(), false);
}

TEST_F(SettingsPagesTest, FailedShortcutsShowAsOneWarningLine)
{
    QStringList failing = {"F1", "Ctrl+Shift+A"};
    QString limit;
    model->apply = [&] { return failing; };
    model->hotKeyLimit = [&] { return limit; };
    model->refresh();
    open(SettingsPage::shortcuts);
    const QString line = "F1、Ctrl+Shift+A 注册失败，可能重复或被其他应用占用，换一个试试。";
    EXPECT_TRUE(texts().contains(line));

    // A desktop that takes no global keys: not "taken by another program", but the commands to
    // bind in the desktop, with the lines to copy for the keys recorded here.
    limit = "Wayland 桌面不让程序自己注册全局快捷键";
    model->refresh();
    const QString all = allText();
    EXPECT_FALSE(all.contains("注册失败"));
    EXPECT_TRUE(all.contains(limit + "。请在桌面的键盘设置里把按键绑定到命令“quillet capture”"))
        << all.toStdString();
    EXPECT_TRUE(all.contains("bindsym F1 exec quillet capture"));
    EXPECT_TRUE(all.contains("bind = , F3, exec, quillet pin"));

    failing.clear();
    limit.clear();
    model->refresh();
    EXPECT_FALSE(texts().contains(line));
    EXPECT_FALSE(allText().contains("注册失败"));
    EXPECT_FALSE(allText().contains("bindsym"));

    // A desktop that binds the keys itself says what it made of them, under the keys.
    QString note = "这些快捷键交给桌面管理。桌面现在的绑定：截图 Ctrl+Shift+A。";
    model->desktopKeyNote = [&] { return note; };
    model->refresh();
    EXPECT_TRUE(texts().contains(note));
    note.clear();
    model->refresh();
    EXPECT_FALSE(allText().contains("交给桌面管理"));
}

TEST_F(SettingsPagesTest, PermissionBadgeFollowsTheModelAndLeadsToGeneral)
{
    open(SettingsPage::save);
    PermissionBadge* badge = view->badge();
    EXPECT_EQ(badge->text(), "录屏权限已开启");
    services.permitted = false;
    services.reason = "当前是 Wayland 会话，墨钉还不能读取屏幕。";
    model->refresh();
    EXPECT_EQ(badge->text(), "未开启录屏权限");
    EXPECT_EQ(badge->accessibleName(), "未开启录屏权限");
    QTest::mouseClick(badge, Qt::LeftButton);
    EXPECT_EQ(model->page(), SettingsPage::general);
    EXPECT_EQ(view->shownPage(), SettingsPage::general);
    // The general page tells what this platform says, and offers no settings pane it lacks.
    const QStringList shown = texts();
    EXPECT_TRUE(shown.contains("还没有开启录屏权限"));
    EXPECT_TRUE(shown.contains(services.reason));
    EXPECT_TRUE(shown.contains("重启墨钉"));
    EXPECT_FALSE(shown.contains("打开系统设置"));
    services.privacyPane = true;
    model->refresh();
    view->hide();
    open(SettingsPage::general);
    EXPECT_TRUE(texts().contains("打开系统设置"));
}

TEST_F(SettingsPagesTest, SaveFolderChooserStoresAPlainPathAndCancelKeepsIt)
{
    QTemporaryDir target;
    QString startedIn;
    std::optional<QString> answer = target.path();
    auto previous = folderChooser();
    folderChooser() = [&](const QString& start, QWidget*) {
        startedIn = start;
        return answer;
    };
    auto s = Prefs::store();
    s->setValue(Prefs::saveDirKey, home.path() + "/gone");
    s->sync();
    open(SettingsPage::save);
    EXPECT_TRUE(allText().contains("已不存在"));
    control<QAbstractButton>("更改…")->click();
    EXPECT_EQ(startedIn, QDir::homePath());
    EXPECT_EQ(stored(Prefs::saveDirKey).toString(), target.path());
    EXPECT_FALSE(allText().contains("已不存在"));
    answer.reset();
    control<QAbstractButton>("更改…")->click();
    EXPECT_EQ(startedIn, target.path());
    EXPECT_EQ(stored(Prefs::saveDirKey).toString(), target.path());
    folderChooser() = previous;
}

TEST_F(SettingsPagesTest, LightAndDarkPalettesKeepTextReadable)
{
    const auto palette = [](QColor window, QColor base, int text) {
        QPalette p;
        p.setColor(QPalette::Window, window);
        p.setColor(QPalette::Base, base);
        p.setColor(QPalette::WindowText, QColor(text, text, text));
        p.setColor(QPalette::Text, QColor(text, text, text));
        p.setColor(QPalette::PlaceholderText, QColor(text, text, text, 140));
        return p;
    };
    QList<QImage> shots;
    for (const QPalette& pal : {palette(QColor(236, 236, 236), Qt::white, 20),
             palette(QColor(40, 40, 42), QColor(28, 28, 30), 235)}) {
        for (SettingsPage page : allSettingsPages) {
            open(page);
            view->setPalette(pal);
            for (const QLabel* l : view->findChildren<QLabel*>()) {
                if (l->text().isEmpty() || !l->isVisibleTo(view.get()))
                    continue;
                QColor fg = l->palette().color(l->foregroundRole());
                const QColor bg = look::cardBackground(l);
                // Blend a translucent text colour over the card, as it is drawn.
                const float a = fg.alphaF();
                const float lum = fg.lightnessF() * a + bg.lightnessF() * (1 - a);
                EXPECT_GT(std::abs(lum - bg.lightnessF()), 0.25f)
                    << qPrintable(rawValue(page)) << ": " << qPrintable(l->text());
            }
            EXPECT_NE(look::cardBackground(view.get()), pal.color(QPalette::Window));
        }
        shots << view->grab().toImage();
    }
    EXPECT_NE(shots[0], shots[1]);
}

TEST_F(SettingsPagesTest, PinPageCountFollowsPinsAndClosesThemAll)
{
    open(SettingsPage::pin);
    auto* closeAll = control<QAbstractButton>("关闭全部");
    ASSERT_TRUE(closeAll);
    EXPECT_FALSE(closeAll->isEnabled());
    QImage image = test::filled(QSize(40, 30), Qt::red, 1, QImage::Format_ARGB32);
    ASSERT_TRUE(PinWindow::pin(image));
    ASSERT_TRUE(PinWindow::pin(image));
    // The page polls once a second; the number and the button follow within that.
    QTRY_VERIFY_WITH_TIMEOUT(closeAll->isEnabled(), 3000);
    EXPECT_TRUE(texts().contains("2"));
    closeAll->click();
    EXPECT_EQ(PinWindow::count(), 0);
    EXPECT_TRUE(texts().contains("0"));
    EXPECT_FALSE(closeAll->isEnabled());
}

TEST_F(SettingsPagesTest, QuickStartShowsADashForAnActionWithoutShortcuts)
{
    ShortcutStore::set(HotKeyAction::capture, 0, std::nullopt);
    ShortcutStore::set(HotKeyAction::capture, 1, std::nullopt);
    open(SettingsPage::about);
    QStringList keys;
    for (const Keys* k : view->body()->findChildren<Keys*>())
        keys << k->keys().join(' ');
    EXPECT_EQ(keys, QStringList({"—", "F3"}));
    control<QAbstractButton>("查看全部快捷键")->click();
    EXPECT_EQ(view->shownPage(), SettingsPage::shortcuts);
}

TEST_F(SettingsPagesTest, ControlsAreReachableByKeyboardWithTheirRoles)
{
    open(SettingsPage::capture);
    view->activateWindow();
    struct Expect {
        QString name;
        QAccessible::Role role;
    };
    const QList<Expect> table = {
        {"自动识别窗口", QAccessible::CheckBox},
        {"遮罩深浅", QAccessible::Slider},
        {"字号", QAccessible::ComboBox},
    };
    for (const Expect& e : table) {
        QWidget* w
            = e.role == QAccessible::Slider ? control<QSlider>(e.name) : control<QWidget>(e.name);
        ASSERT_TRUE(w) << qPrintable(e.name);
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        ASSERT_TRUE(a);
        EXPECT_EQ(a->role(), e.role) << qPrintable(e.name);
        EXPECT_EQ(w->accessibleName(), e.name);
        // On Linux a combo box reads its current text as its name and is named by its label.
        if (e.role == QAccessible::ComboBox)
            EXPECT_FALSE(a->relations(QAccessible::Label).isEmpty());
        else
            EXPECT_EQ(a->text(QAccessible::Name), e.name);
        EXPECT_NE(w->focusPolicy() & Qt::TabFocus, 0) << qPrintable(e.name);
    }
    // Space toggles a focused switch, and the arrow keys move a focused slider.
    auto* detect = control<Switch>("自动识别窗口");
    detect->setFocus(Qt::TabFocusReason);
    QTest::keyClick(detect, Qt::Key_Space);
    EXPECT_FALSE(detect->isChecked());
    EXPECT_FALSE(Prefs::detectWindows());
    auto* dim = control<QSlider>("遮罩深浅");
    QTest::keyClick(dim, Qt::Key_Right);
    EXPECT_NEAR(Prefs::dimAlpha(), 0.43, 1e-9);
    EXPECT_NEAR(view->body()->findChild<DimPreview*>()->alpha(), 0.43, 1e-9);
    // The recorder reads its label to a screen reader.
    open(SettingsPage::shortcuts);
    auto* rec = view->body()->findChildren<RecorderButton*>().value(0);
    ASSERT_TRUE(rec);
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(rec);
    EXPECT_EQ(a->role(), QAccessible::Button);
    EXPECT_EQ(a->text(QAccessible::Description), "F1");
}

// A change where the settings cannot be saved: the window's warning line says so, and the value
// holds for the run; the next change that is saved clears the line.
TEST_F(SettingsPagesTest, ChangeThatCannotBeSavedIsSaidInTheWindowAndHeld)
{
    SettingsWindow window(*model);
    window.show();
    const QString folder = QFileInfo(Prefs::filePath()).absolutePath();
    QDir(folder).removeRecursively();
    // A file where the folder should be stops root too.
    QFile blocker(folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    look::writePref(Prefs::showMagnifierKey, false);
    EXPECT_FALSE(Prefs::showMagnifier());
    EXPECT_TRUE(window.saveProblem().contains(QStringLiteral("无法保存设置")))
        << window.saveProblem().toStdString();
    ASSERT_TRUE(QFile::remove(folder));
    look::writePref(Prefs::showMagnifierKey, true);
    EXPECT_TRUE(window.saveProblem().isEmpty());
    EXPECT_EQ(stored(Prefs::showMagnifierKey).toString(), "true");
}
