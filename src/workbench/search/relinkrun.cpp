#include "relinkrun.h"

#include "common/prompts.h"
#include "store/wordmgr.h"
#include "textreader/documenttext.h"
#include "workbench/controls.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

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

} // namespace

RelinkPlan RunRelinkSearch(QWidget* parent, TWordMgr& store, const std::vector<MissingDocument>& missing,
                           const QStringList& folders) {
    const QSet<QString> held = HeldLibraryPaths(store);
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
    ApplyRelinks(store, plan);
    return plan;
}

QString RelinkSummaryText(const RelinkPlan& plan) {
    int relinked = 0;
    int ambiguous = 0;
    int notFound = 0;
    for (const RelinkFinding& finding : plan.findings) {
        switch (finding.kind) {
        case RelinkFinding::Kind::Relinked:
            ++relinked;
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
    ShowInfo(finding.kind == RelinkFinding::Kind::Ambiguous
                 ? QStringLiteral("找到 %1 个可能的文件，无法确定是哪一个，文档未作更改。").arg(finding.candidates)
                 : QStringLiteral("在这个文件夹中没有找到这个文档。"));
    return path;
}

} // namespace velmora
