// Start-up, settings, window placement and shutdown of the main window.

#include "tmform.h"

#include "application.h"
#include "common/appfolder.h"
#include "common/errors.h"
#include "common/settings.h"
#include "common/textcodec.h"
#include "fmsetting.h"
#include "tagtreewidget.h"
#include "treeview.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTimer>
#include <QTreeWidget>

namespace velmora {

namespace {

QString dataFile(const QString& name) {
    return AppDataFolder() + name;
}

// What a settings file holds when there is none yet: every key, since keys are never added later.
const QStringList& defaultSettings() {
    static const QStringList lines{
        QStringLiteral("ImportDir="),   QStringLiteral("SaveAsDir="),         QStringLiteral("SortType=文章标题"),
        QStringLiteral("WinPosLTHW="),  QStringLiteral("LastTag="),           QStringLiteral("LastNode=-1"),
        QStringLiteral("AutoGoBack=0"), QStringLiteral("AutoSaveInterval=5"),
    };
    return lines;
}

int settingAsInt(const QString& value, int fallback) {
    bool ok = false;
    const int number = value.trimmed().toInt(&ok);
    return ok ? number : fallback;
}

constexpr int kDefaultAutoSaveMinutes = 5;
constexpr int kFolderImage = 33;

} // namespace

TmForm::TmForm(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("mForm"));
    buildLayout();
    FormCreate();
}

TmForm::~TmForm() {
    FormDestroy();
}

QString TmForm::setting(const QString& key) const {
    return GetSetting(key, setList);
}

void TmForm::setSetting(const QString& key, const QString& value) {
    SetSetting(key, value, setList);
}

void TmForm::SaveSettings() {
    WriteTextFile(dataFile(QStringLiteral("settings.ini")), setList);
}

void TmForm::reportError(const QString& text) {
    ReportError(text);
}

void TmForm::FormCreate() {
    setWindowTitle(QStringLiteral("Velmora %1").arg(QCoreApplication::applicationVersion()));
    filtTreeView->expandAll();

    try {
        PrepareDataFolder();
    } catch (const VelmoraError& error) {
        reportError(error.message());
    }
    const QString settingsFile = dataFile(QStringLiteral("settings.ini"));
    if (QFile::exists(settingsFile)) {
        setList = ReadTextFile(settingsFile);
    } else {
        // Without the file no setting could ever be kept, so it is made from the delivered defaults.
        setList = defaultSettings();
        try {
            SaveSettings();
        } catch (const VelmoraError& error) {
            reportError(error.message());
        }
    }

    wdMgr = std::make_unique<TWordMgr>(dataFile(QStringLiteral("worddata.data")));
    if (wdMgr->TornRecordBytes() > 0) {
        reportError(QStringLiteral("记录文件末尾有不完整的记录: %1").arg(wdMgr->RecordFileName()));
    }
    loadSavedTrees();
    selectRememberedTagNode();

    const int minutes = settingAsInt(setting(QStringLiteral("AutoSaveInterval")), kDefaultAutoSaveMinutes);
    svTimer->setInterval(std::max(0, minutes) * 60000);
    if (minutes <= 0) {
        svTimer->stop();
    }
    SelectSortItem(setting(QStringLiteral("SortType")));
}

void TmForm::loadSavedTrees() {
    // A damaged file is reported and its tree keeps its designed content; start-up goes on.
    try {
        LoadTVItems(tagTreeView, dataFile(QStringLiteral("TagTVItems.dat")));
    } catch (const VelmoraError& error) {
        reportError(error.message());
    }
    try {
        if (LoadTVItems(wzTreeView, dataFile(QStringLiteral("wzTVItems.dat")))) {
            showArticleCount();
        }
    } catch (const VelmoraError& error) {
        reportError(error.message());
    }
    try {
        Tree folders;
        if (LoadTreeText(dataFile(QStringLiteral("FdTVItems.dat")), folders)) {
            SetImageEverywhere(folders, kFolderImage);
            FillTreeWidget(fdTreeView, folders);
        }
    } catch (const VelmoraError& error) {
        reportError(error.message());
    }
}

void TmForm::selectRememberedTagNode() {
    const int index = settingAsInt(setting(QStringLiteral("LastNode")), -1);
    if (index < 0) {
        return;
    }
    if (QTreeWidgetItem* node = tagNodeAt(index)) {
        tagTreeView->setCurrentItem(node);
        tagTreeView->scrollToItem(node);
    }
}

void TmForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TmForm::FormShow() {
    RestoreWindowPlacement();
}

void TmForm::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        FormActivate();
    }
}

void TmForm::FormActivate() {
    if (m_activated) {
        return;
    }
    m_activated = true;
}

void TmForm::RestoreWindowPlacement() {
    const QString placement = setting(QStringLiteral("WinPosLTHW"));
    if (placement.isEmpty()) {
        return;
    }
    if (placement == QLatin1String("wsMaximized")) {
        setWindowState(windowState() | Qt::WindowMaximized);
        return;
    }
    const QStringList parts = placement.split(u',');
    if (parts.size() < 4) {
        return;
    }
    int numbers[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        numbers[i] = parts.at(i).trimmed().toInt(&ok);
        if (!ok) {
            return;
        }
    }
    const int left = numbers[0];
    const int top = numbers[1];
    const int height = std::max(numbers[2], 100);
    const int width = std::max(numbers[3], 100);
    QRect frame(left, top, width, height);
    // A placement saved on a screen that is gone is brought onto the nearest screen that is there.
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (!screens.isEmpty() && QGuiApplication::screenAt(frame.center()) == nullptr) {
        QRect nearest = screens.first()->availableGeometry();
        qint64 best = std::numeric_limits<qint64>::max();
        for (const QScreen* screen : screens) {
            const QRect area = screen->availableGeometry();
            const QPoint d = area.center() - frame.center();
            const qint64 distance = qint64(d.x()) * d.x() + qint64(d.y()) * d.y();
            if (distance < best) {
                best = distance;
                nearest = area;
            }
        }
        frame.setSize(frame.size().boundedTo(nearest.size()));
        frame.moveLeft(std::clamp(frame.left(), nearest.left(), nearest.right() - frame.width() + 1));
        frame.moveTop(std::clamp(frame.top(), nearest.top(), nearest.bottom() - frame.height() + 1));
    }
    const QSize frameExtra = frameGeometry().size() - geometry().size();
    move(frame.topLeft());
    resize(frame.size() - frameExtra);
}

void TmForm::SaveWindowPlacement() {
    QString value;
    if (isMaximized()) {
        value = QStringLiteral("wsMaximized");
    } else {
        const QRect frame = frameGeometry();
        value = QStringLiteral("%1,%2,%3,%4").arg(frame.left()).arg(frame.top()).arg(frame.height()).arg(frame.width());
    }
    setSetting(QStringLiteral("WinPosLTHW"), value);
    SaveSettings();
}

void TmForm::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TmForm::FormClose() {
    if (m_closed) {
        return;
    }
    m_closed = true;
    // Each step is tried on its own: one file that cannot be written must not keep the others from being saved.
    auto step = [this](auto&& work) {
        try {
            work();
        } catch (const VelmoraError& error) {
            reportError(error.message());
        }
    };
    step([this] { SaveWindowPlacement(); });
    step([this] {
        if (m_tagTreeChanged) {
            SaveTagTree();
        }
    });
    step([this] {
        QTreeWidgetItem* selected = tagTreeView->currentItem();
        const bool isSelected = selected != nullptr && selected->isSelected();
        setSetting(QStringLiteral("LastNode"), QString::number(isSelected ? tagNodeIndex(selected) : -1));
        SaveSettings();
    });
    step([this] {
        if (wzTreeView->topLevelItemCount() > 0) {
            SaveTVItems(wzTreeView, dataFile(QStringLiteral("wzTVItems.dat")));
        }
    });
}

void TmForm::FormDestroy() {
    setList.clear();
    if (wdMgr) {
        try {
            wdMgr->SaveRecDataFiles(false);
        } catch (const VelmoraError& error) {
            reportError(error.message());
        }
        wdMgr.reset();
    }
}

void TmForm::SaveTagTree() {
    SaveTVItems(tagTreeView, dataFile(QStringLiteral("TagTVItems.dat")));
    m_tagTreeChanged = false;
}

void TmForm::Splitter1Moved() {
    schEdit->setFixedWidth(wzPanel->width() + 1);
}

void TmForm::BtnUtilitiesClick() {
    TfmSetting dialog(setting(QStringLiteral("AutoGoBack")), setting(QStringLiteral("AutoSaveInterval")), this);
    if (dialog.exec() == QDialog::Accepted) {
        setSetting(QStringLiteral("AutoGoBack"), dialog.autoGoBack());
        setSetting(QStringLiteral("AutoSaveInterval"), dialog.autoSaveInterval());
    }
}

} // namespace velmora
