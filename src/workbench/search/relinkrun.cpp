#include "relinkrun.h"

#include "common/prompts.h"
#include "store/wordmgr.h"
#include "textreader/documenttext.h"
#include "workbench/controls.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <mutex>
#include <thread>

namespace velmora {

namespace {

constexpr int kListedFolders = 10;
const QString kTitle = QStringLiteral("查找丢失的文档");

std::optional<QString> readWithBuiltInReader(const QString& path) {
    DocumentText read = ReadDocumentText(path);
    if (!read.ok()) {
        return std::nullopt;
    }
    return std::move(read.text);
}

// The nearest folder of the path that still exists, for the pickers to start in.
QString nearestFolder(const QString& path) {
    QFileInfo folder(QFileInfo(path).absolutePath());
    while (!folder.isDir() && !folder.isRoot()) {
        folder.setFile(folder.absolutePath());
    }
    return folder.absoluteFilePath();
}

// The matches by name alone, each unticked: a common name is no proof, so nothing is taken that the user did not
// tick. The positions ticked; none when cancelled.
QSet<qint64> askWhichByName(QWidget* parent, const RelinkPlan& plan) {
    QDialog dialog(parent);
    Named(&dialog, QStringLiteral("relinkByNameDialog"));
    dialog.setWindowTitle(kTitle);
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(
        QStringLiteral("下列文档没有可以比较的正文，只找到了同名的文件。请勾选确实是该文档的文件："), &dialog);
    label->setWordWrap(true);
    layout->addWidget(label);
    auto* list = Named(new QListWidget(&dialog), QStringLiteral("relinkByNameList"));
    Describe(list, QStringLiteral("只按文件名找到的文件"), QStringLiteral("勾选的文档改用找到的文件"));
    label->setBuddy(list);
    for (const RelinkFinding& finding : plan.findings) {
        if (finding.kind != RelinkFinding::Kind::ByName) {
            continue;
        }
        auto* item = new QListWidgetItem(QStringLiteral("%1 → %2").arg(finding.oldPath, finding.newPath), list);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        item->setData(Qt::UserRole, finding.position);
    }
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(&dialog);
    Describe(Named(buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole),
                   QStringLiteral("btRelinkByNameOK")),
             QStringLiteral("确定"));
    Describe(Named(buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole),
                   QStringLiteral("btRelinkByNameCancel")),
             QStringLiteral("取消"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    QSet<qint64> ticked;
    if (dialog.exec() != QDialog::Accepted) {
        return ticked;
    }
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->checkState() == Qt::Checked) {
            ticked.insert(list->item(i)->data(Qt::UserRole).toLongLong());
        }
    }
    return ticked;
}

} // namespace

RelinkPlan RunRelinkSearch(QWidget* parent, TWordMgr& store, const std::vector<MissingDocument>& missing,
                           const QStringList& folders) {
    const HeldFiles held(store);
    QProgressDialog progress(parent);
    Named(&progress, QStringLiteral("relinkProgress"));
    progress.setWindowTitle(kTitle);
    Describe(&progress, QStringLiteral("查找进度"));
    auto* cancel = Named(new QPushButton(QStringLiteral("取消"), &progress), QStringLiteral("btRelinkCancel"));
    Describe(cancel, QStringLiteral("取消查找"));
    progress.setCancelButton(cancel);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setMinimumDuration(0);
    progress.setWindowModality(Qt::WindowModal);
    progress.setRange(0, 0);
    progress.setLabelText(QStringLiteral("正在列出文件……"));

    std::atomic<bool> cancelled{false};
    std::atomic<bool> done{false};
    std::mutex mutex;
    RelinkProgress latest;
    RelinkPlan plan;
    QObject::connect(&progress, &QProgressDialog::canceled, &progress, [&cancelled] { cancelled = true; });
    std::thread worker([&] {
        plan = PlanRelinks(
            missing, folders, held, &readWithBuiltInReader,
            [&](const RelinkProgress& now) {
                const std::lock_guard<std::mutex> lock(mutex);
                latest = now;
            },
            &cancelled);
        done = true;
    });
    QTimer poll;
    poll.setInterval(50);
    QObject::connect(&poll, &QTimer::timeout, &progress, [&] {
        if (done) {
            progress.done(0);
            return;
        }
        RelinkProgress now;
        {
            const std::lock_guard<std::mutex> lock(mutex);
            now = latest;
        }
        if (now.stage == RelinkProgress::Stage::Listing) {
            progress.setLabelText(QStringLiteral("正在列出文件：%1").arg(now.done));
        } else {
            progress.setRange(0, int(now.total));
            progress.setValue(int(now.done));
            progress.setLabelText(QStringLiteral("正在比较文档：%1/%2").arg(now.done).arg(now.total));
        }
    });
    poll.start();
    progress.exec();
    // A dialog closed some other way than by the end of the search (Escape) stops it.
    if (!done) {
        cancelled = true;
    }
    worker.join();
    if (plan.cancelled) {
        return plan;
    }
    ApplyRelinks(store, plan, ByNamePositions(plan).isEmpty() ? QSet<qint64>() : askWhichByName(parent, plan));
    return plan;
}

QString RelinkSummaryText(const RelinkPlan& plan) {
    int relinked = 0;
    int byName = 0;
    int ambiguous = 0;
    int notFound = 0;
    for (const RelinkFinding& finding : plan.findings) {
        switch (finding.kind) {
        case RelinkFinding::Kind::Relinked:
            ++relinked;
            break;
        case RelinkFinding::Kind::ByName:
            ++byName;
            break;
        case RelinkFinding::Kind::Ambiguous:
            ++ambiguous;
            break;
        case RelinkFinding::Kind::NotFound:
            ++notFound;
            break;
        }
    }
    QString text = QStringLiteral("找回 %1 个文档；%2 个有多个可能的文件，未作更改；%3 个没有找到。")
                       .arg(relinked)
                       .arg(ambiguous)
                       .arg(notFound);
    if (byName > 0) {
        text += QStringLiteral("\n%1 个只找到同名文件的文档没有勾选，未作更改。").arg(byName);
    }
    if (!plan.refusedFiles.empty()) {
        text += QStringLiteral("\n\n文件名含有控制字符或不是有效 UTF-8 的文件不能使用：");
        for (size_t i = 0; i < plan.refusedFiles.size() && i < size_t(kListedFolders); ++i) {
            QString name = QString::fromUtf8(plan.refusedFiles[i].name);
            std::replace_if(
                name.begin(), name.end(), [](QChar c) { return c.category() == QChar::Other_Control; },
                QChar(QChar::ReplacementCharacter));
            text += u'\n' + name;
        }
        if (plan.refusedFiles.size() > size_t(kListedFolders)) {
            text += QStringLiteral("\n……");
        }
    }
    if (!plan.unreadableFolders.isEmpty()) {
        text += QStringLiteral("\n\n无法读取的文件夹：");
        for (qsizetype i = 0; i < plan.unreadableFolders.size() && i < kListedFolders; ++i) {
            text += u'\n' + plan.unreadableFolders.at(i);
        }
        if (plan.unreadableFolders.size() > kListedFolders) {
            text += QStringLiteral("\n……");
        }
    }
    return text;
}

QString OfferToLocate(QWidget* parent, TWordMgr& store, qint64 position, const QString& path) {
    const Answer answer = AskYesNoCancel(
        QStringLiteral("文档的文件不存在：\n%1\n\n要查找它吗？选“是”选择这个文件，选“否”选择一个文件夹在其中查找。")
            .arg(path));
    if (answer == Answer::Cancel) {
        return path;
    }
    if (answer == Answer::Yes) {
        const QString picked = PickFiles(true, QStringLiteral("选择文档的文件"), nearestFolder(path),
                                         QStringLiteral("Word文档 (*.doc *.docx)"));
        if (picked.isEmpty()) {
            return path;
        }
        if (!RelinkToFile(store, position, picked)) {
            ShowInfo(QStringLiteral("不能使用这个文件：它不是一个文件，或者是资料库中另一个文档的文件。"));
            return path;
        }
        return store.GetDocNameByPos(position);
    }
    const QString folder = PickFolder(QStringLiteral("选择查找文档的文件夹"), nearestFolder(path));
    if (folder.isEmpty()) {
        return path;
    }
    const RelinkPlan plan = RunRelinkSearch(parent, store, {{position, path}}, {folder});
    if (plan.cancelled || plan.findings.empty()) {
        return path;
    }
    const RelinkFinding& finding = plan.findings.front();
    if (finding.kind == RelinkFinding::Kind::Relinked) {
        return finding.newPath;
    }
    if (finding.kind == RelinkFinding::Kind::ByName) {
        // The user did not tick it in the list just shown.
        return path;
    }
    ShowInfo(finding.kind == RelinkFinding::Kind::Ambiguous
                 ? QStringLiteral("找到 %1 个可能的文件，无法确定是哪一个，文档未作更改。").arg(finding.candidates)
                 : QStringLiteral("在这个文件夹中没有找到这个文档。"));
    return path;
}

} // namespace velmora
