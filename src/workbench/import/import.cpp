#include "import.h"

#include "common/prompts.h"
#include "impform.h"
#include "importrun.h"
#include "store/wordmgr.h"
#include "workbench/application.h"
#include "workbench/controls.h"
#include "workbench/workbench.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QScopeGuard>
#include <QToolButton>
#include <QWindow>

namespace velmora {

namespace {

const QString kImportHint = QStringLiteral("导入word文档");
const QString kImportingHint = QStringLiteral("importing...");
constexpr qint64 kExposeWaitMs = 500;
const QString kNoLineForTags = QStringLiteral("没有为标签内容选择word文档");

QString ArticleCaption(const QString& path) {
    QString name = path.mid(path.lastIndexOf(QDir::separator()) + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot >= 0) {
        name.truncate(dot);
    }
    return name;
}

} // namespace

Import::Import(Workbench& bench, QWidget* toolbar) : QObject(toolbar), m_bench(bench) {
    setObjectName(QStringLiteral("import"));
    tbtImport = MakeToolButton(toolbar, QStringLiteral("tbtImport"), QStringLiteral("导入"), kImportHint);
    ConnectReported(tbtImport, &QToolButton::clicked, this, [this] { tbtImportClick(); });
}

QWidget* Import::toolButton() const {
    return tbtImport;
}

void Import::requestCancel() {
    m_cancel = true;
    m_closing = true;
}

void Import::tbtImportClick(const QStringList& files) {
    if (m_running || m_strip == nullptr) {
        return;
    }
    QWidget* window = tbtImport->window();
    TimpForm impForm(m_bench.settings(), files, window);
    connect(&impForm, &TimpForm::closeAreaToggleWanted, this, &Import::closeAreaToggleWanted);
    tbtImport->setToolTip(kImportingHint);
    m_bench.setImporting(true);
    const auto cleanup = qScopeGuard([this] {
        m_bench.setImporting(false);
        tbtImport->setToolTip(kImportHint);
    });
    if (impForm.exec() != QDialog::Accepted || impForm.listedFiles().isEmpty()) {
        return;
    }
    const ImportOptions options = impForm.options();
    if (TagScopeMissing(options)) {
        ShowInfo(kNoLineForTags);
        return;
    }
    runImport(window, options);
}

void Import::runImport(QWidget* window, const ImportOptions& options) {
    Q_EMIT articlesCleared();
    m_running = true;
    m_cancel = false;
    m_closing = false;
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    Q_EMIT runningChanged(true);

    // Not modal: the window goes on painting and answering (its tabs stay usable), while the controls that
    // could start other work are disabled by the main window.
    m_progress = Named(new QProgressDialog(window), QStringLiteral("importProgress"));
    m_progress->setWindowTitle(QStringLiteral("导入Word文档"));
    Describe(m_progress, QStringLiteral("导入进度"));
    auto* label = Named(new QLabel(m_progress), QStringLiteral("lbImportFile"));
    label->setTextFormat(Qt::PlainText);
    label->setMinimumWidth(480);
    m_progress->setLabel(label);
    auto* cancel = Named(new QPushButton(QStringLiteral("取消"), m_progress), QStringLiteral("btImportCancel"));
    Describe(cancel, QStringLiteral("取消导入"));
    m_progress->setCancelButton(cancel);
    m_progress->setAutoClose(false);
    m_progress->setAutoReset(false);
    m_progress->setMinimumDuration(0);
    m_progress->setRange(0, int(options.items.size()));
    connect(m_progress, &QProgressDialog::canceled, this, [this] { m_cancel = true; });
    m_progress->setLabelText(QStringLiteral("0/%1").arg(options.items.size()));
    m_progress->show();
    // Painted before the first file, since a file that needs the office keeps the loop from the window for a
    // while; a window system without exposure (offscreen) is not waited for long.
    QElapsedTimer shown;
    shown.start();
    while (shown.elapsed() < kExposeWaitMs &&
           (m_progress->windowHandle() == nullptr || !m_progress->windowHandle()->isExposed())) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    const auto cleanup = qScopeGuard([this] {
        delete m_progress;
        m_progress = nullptr;
        m_running = false;
        QGuiApplication::restoreOverrideCursor();
        Q_EMIT runningChanged(false);
        Q_EMIT finished();
    });
    // Made after the guard, so that the run's office has ended before anyone hears that the run is over.
    ImportRun run(m_bench.store(), *m_strip, options);
    while (!run.atEnd()) {
        const int line = run.nextLine();
        m_progress->setValue(line);
        m_progress->setLabelText(QStringLiteral("%1/%2  %3")
                                     .arg(line + 1)
                                     .arg(run.lineCount())
                                     .arg(QDir::toNativeSeparators(options.items.at(line).path)));
        // The file about to be read is shown before the loop holds the window for it.
        QCoreApplication::processEvents();
        if (m_cancel) {
            break;
        }
        const ImportRun::Step step = run.next();
        if (step.outcome != ImportRun::Outcome::Skipped) {
            Q_EMIT articleImported(step.position, ArticleCaption(step.path));
        }
    }
    m_progress->setValue(run.nextLine());
    run.finish();
    // A window that is closing is told only of failures; otherwise the user learns what the run did, since files
    // passed over or failed leave no other trace in the list.
    if (!m_closing) {
        ShowInfo(ImportSummaryText(run, m_cancel));
    } else if (!run.failures().isEmpty()) {
        ShowInfo(ImportFailureText(run.failures()));
    }
}

} // namespace velmora
