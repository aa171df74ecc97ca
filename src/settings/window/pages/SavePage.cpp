// The save page: where saves go, and how.
#include "settings/Prefs.h"
#include "settings/SettingsStore.h"
#include "settings/window/components/Card.h"
#include "settings/window/components/Look.h"
#include "settings/window/components/Switch.h"
#include "settings/window/pages/PageControls.h"
#include "settings/window/pages/Pages.h"
#include "ui/Accent.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

namespace quillet {

std::function<std::optional<QString>(const QString&, QWidget*)>& folderChooser()
{
    static std::function<std::optional<QString>(const QString&, QWidget*)> chooser
        = [](const QString& start, QWidget* parent) -> std::optional<QString> {
        QFileDialog dialog(parent, QStringLiteral("选择保存位置"), start);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setLabelText(QFileDialog::Accept, QStringLiteral("选择"));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().constFirst();
    };
    return chooser;
}

namespace {

// What "saveDir" holds as written, without the fallback Prefs applies: the page shows the
// user's choice, and says so when it is gone.
QString storedSaveDir()
{
    const QVariant v = Prefs::store()->value(QLatin1String(Prefs::saveDirKey));
    const QString path = v.toString();
    return path.isEmpty() ? Prefs::saveDir().toLocalFile() : path;
}

class SavePage final : public PageBody {
public:
    SavePage(SettingsModel& model, QWidget* parent)
        : PageBody(model, parent)
    {
        Card* where = addCard(QStringLiteral("保存位置"), QStringLiteral("folder"));
        auto* folder = new QWidget(where);
        auto* h = new QHBoxLayout(folder);
        h->setContentsMargins(0, 0, 0, 0);
        h->setSpacing(12);
        m_icon = new QLabel(folder);
        m_icon->setFixedSize(40, 40);
        h->addWidget(m_icon);
        auto* texts = new QVBoxLayout;
        texts->setSpacing(3);
        m_name = makeLabel(QString(), 13, QFont::Medium, false, folder);
        m_path = makeLabel(QString(), 11, QFont::Normal, true, folder);
        m_path->setTextInteractionFlags(Qt::TextSelectableByMouse);
        m_missing = new WarningLabel(11, folder);
        texts->addWidget(m_name);
        texts->addWidget(m_path);
        texts->addWidget(m_missing);
        h->addLayout(texts, 1);
        auto* reveal = new QPushButton(QStringLiteral("在文件管理器中显示"), folder);
        reveal->setAccessibleName(reveal->text());
        auto* change = new QPushButton(QStringLiteral("更改…"), folder);
        change->setAccessibleName(change->text());
        h->addWidget(reveal);
        h->addWidget(change);
        where->add(folder);
        connect(reveal, &QPushButton::clicked, this, [] {
            // Prefs::saveDir() is where saves go now: the chosen folder or, when it is gone,
            // the fallback.
            QDesktopServices::openUrl(Prefs::saveDir());
        });
        connect(change, &QPushButton::clicked, this, &SavePage::choose);

        Card* how = addCard(QStringLiteral("保存方式"), QStringLiteral("square.and.arrow.down"));
        how->add(new SettingRow(QStringLiteral("Ctrl+S 直接保存"),
            QStringLiteral("不弹出对话框，直接存到上面的文件夹"),
            boundSwitch(Prefs::quickSaveKey, Prefs::quickSave()), how));
        how->add(new RowDivider(how));
        QLabel* example = makeLabel(Prefs::fileName(), 12, QFont::Normal, true);
        example->setWordWrap(false);
        example->setTextInteractionFlags(Qt::TextSelectableByMouse);
        how->add(new SettingRow(
            QStringLiteral("文件名"), QStringLiteral("按截图时间命名，PNG 格式"), example, how));
        stack()->addStretch(1);
        sync();
    }

private:
    void sync()
    {
        const QString path = storedSaveDir();
        const QFileInfo info(path);
        m_name->setText(info.fileName().isEmpty() ? path : info.fileName());
        m_path->setText(QDir::toNativeSeparators(path));
        const bool exists = info.exists();
        m_missing->setVisible(!exists);
        m_missing->setText(QStringLiteral("这个文件夹已不存在，截图会先存到 ")
            + QDir::toNativeSeparators(Prefs::saveDir().toLocalFile()) + QStringLiteral("。"));
        static QFileIconProvider icons;
        const QIcon icon = exists ? icons.icon(info) : icons.icon(QFileIconProvider::Folder);
        m_icon->setPixmap(icon.pixmap(40, 40));
        for (QLabel* l : {m_name, m_path, m_missing})
            l->setAccessibleName(l->text());
    }

    void choose()
    {
        const QString stored = storedSaveDir();
        // A folder that is gone cannot be started in; home is the obvious place to look.
        const QString start = QFileInfo(stored).isDir() ? stored : QDir::homePath();
        const std::optional<QString> chosen = folderChooser()(start, window());
        if (!chosen || chosen->isEmpty())
            return;
        look::writePref(Prefs::saveDirKey, QDir::cleanPath(*chosen));
        sync();
    }

    QLabel* m_icon;
    QLabel* m_name;
    QLabel* m_path;
    QLabel* m_missing;
};

} // namespace

PageBody* makeSavePage(SettingsModel& model, QWidget* parent)
{
    return new SavePage(model, parent);
}

} // namespace quillet
