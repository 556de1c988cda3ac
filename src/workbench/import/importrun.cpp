#include "importrun.h"

#include "common/errors.h"
#include "common/fileinfo.h"
#include "office/automation/automationerror.h"
#include "office/tiword.h"
#include "store/textcache.h"
#include "store/wordmgr.h"
#include "textreader/documenttext.h"
#include "workbench/core/tagstrip.h"
#include "workbench/tabs/cachewriter.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace velmora {

namespace {

const QString kIndexFailed = QStringLiteral("建立索引失败：%1");
const QString kProtectFailed = QStringLiteral("设置密码失败，文档未加密：%1");
const QString kSaveFailed = QStringLiteral("文档已加密，但保存时出错：%1");
constexpr int kFailuresListed = 20;

QString ReasonOf(const std::exception& error) {
    if (const auto* known = dynamic_cast<const VelmoraError*>(&error)) {
        return known->message();
    }
    return QString::fromLocal8Bit(error.what());
}

} // namespace

bool IsWordFileName(const QString& path) {
    const QString suffix = QFileInfo(path).suffix();
    return suffix.compare(QLatin1String("doc"), Qt::CaseInsensitive) == 0 ||
           suffix.compare(QLatin1String("docx"), Qt::CaseInsensitive) == 0;
}

QStringList ListImportFiles(const QString& folder, bool recurse) {
    QStringList listed;
    ListFiles(folder, QStringLiteral("*.doc;*.docx"), recurse, listed);
    // The shared listing takes any extension that is part of the mask (".do", ".d"); an import takes Word files.
    listed.removeIf([](const QString& line) { return !line.endsWith(QDir::separator()) && !IsWordFileName(line); });
    return listed;
}

bool TagScopeMissing(const ImportOptions& options) {
    return options.tagsModified && !options.tags.trimmed().isEmpty() && !options.tagsAllItems &&
           std::none_of(options.items.begin(), options.items.end(), [](const ImportItem& i) { return i.selected; });
}

QString ImportFailureText(const QList<ImportRun::Failure>& failures) {
    QString text = QStringLiteral("%1个文档导入时出错：").arg(failures.size());
    for (qsizetype i = 0; i < failures.size() && i < kFailuresListed; ++i) {
        text += QStringLiteral("\n%1\n    %2").arg(failures.at(i).path, failures.at(i).reason);
    }
    if (failures.size() > kFailuresListed) {
        text += QStringLiteral("\n……");
    }
    return text;
}

QString ImportSummaryText(const ImportRun& run, bool stopped) {
    QStringList failedFiles;
    for (const ImportRun::Failure& failure : run.failures()) {
        if (!failedFiles.contains(failure.path)) {
            failedFiles.append(failure.path);
        }
    }
    QStringList skipped;
    if (run.inLibraryCount() > 0) {
        skipped.append(QStringLiteral("已在资料库中 %1 个").arg(run.inLibraryCount()));
    }
    if (run.missingCount() > 0) {
        skipped.append(QStringLiteral("文件不存在 %1 个").arg(run.missingCount()));
    }
    const int skippedCount = run.inLibraryCount() + run.missingCount();
    QString text = stopped ? QStringLiteral("导入已停止") : QStringLiteral("导入完成");
    text += QStringLiteral("\n已导入：%1 个").arg(run.importedCount());
    text += QStringLiteral("\n已跳过：%1 个").arg(skippedCount);
    if (!skipped.isEmpty()) {
        text += QStringLiteral("（%1）").arg(skipped.join(QStringLiteral("，")));
    }
    text += QStringLiteral("\n出错：%1 个").arg(failedFiles.size());
    if (stopped) {
        text += QStringLiteral("\n未处理：%1 个").arg(run.remainingCount());
    }
    if (!run.failures().isEmpty()) {
        text += QStringLiteral("\n\n") + ImportFailureText(run.failures());
    }
    return text;
}

ImportRun::ImportRun(TWordMgr& store, TagStrip& strip, ImportOptions options, std::chrono::milliseconds saveEvery)
    : m_store(store), m_strip(strip), m_options(std::move(options)), m_saveEvery(saveEvery) {
    m_sinceSave.start();
    if (m_options.tagsModified) {
        const qsizetype at = m_options.tags.indexOf(kTagPlaceholder);
        if (at >= 0) {
            m_options.tags.remove(at, kTagPlaceholder.size());
        }
    }
}

ImportRun::~ImportRun() {
    endOffice();
}

TiWord& ImportRun::office() {
    if (!m_word) {
        m_word = std::make_unique<TiWord>(true);
        m_officeStarted = true;
    }
    return *m_word;
}

void ImportRun::endOffice() noexcept {
    // TiWord quits the office it started and never raises from its destructor.
    m_word.reset();
}

QString ImportRun::readText(const QString& path) {
    DocumentText read = ReadDocumentText(path);
    if (read.ok()) {
        return std::move(read.text);
    }
    // Only what the built-in reader cannot read costs an office; a run of readable files never starts one.
    return DocumentTextForCache(office(), path);
}

void ImportRun::protect(const QString& path, const QString& password, bool& fileProtected) {
    TiWord& word = office();
    word.OpenWordFile(path, QString(), false);
    std::exception_ptr failed;
    try {
        try {
            word.SaveAs(path, password);
        } catch (...) {
            // A save that failed after writing may still have left the file protected; then the record must keep
            // the password, or the library could never open the file again.
            fileProtected = IsEncryptedOnDisk(path);
            throw;
        }
        // The office verifies a protected save before it returns: from here on the file needs the password.
        fileProtected = true;
        // Marked changed so that the second save is carried out, as the office wants a protected file saved.
        word.MarkDocUnsaved(path);
        word.SaveWordFileByName(path);
    } catch (...) {
        failed = std::current_exception();
    }
    // Closed without saving: a headless office cannot ask about unsaved changes, and what is not saved by now
    // must not reach the file.
    try {
        word.MarkDocSaved(path);
        word.CloseWordFileByName(path);
    } catch (...) {
        if (!failed) {
            failed = std::current_exception();
        }
    }
    if (failed) {
        std::rethrow_exception(failed);
    }
}

void ImportRun::saveWhenDue() {
    if (m_sinceSave.elapsed() < m_saveEvery.count()) {
        return;
    }
    m_sinceSave.restart();
    try {
        m_store.SaveRecDataFiles(false);
    } catch (const VelmoraError&) {
        // Tried again when due and at the end of the run, where a failure is reported.
    }
}

ImportRun::Step ImportRun::next() {
    Step step = importLine();
    saveWhenDue();
    return step;
}

ImportRun::Step ImportRun::importLine() {
    Step step;
    if (atEnd()) {
        return step;
    }
    const ImportItem& item = m_options.items.at(m_next++);
    step.path = item.path;
    if (item.path.endsWith(QDir::separator())) {
        return step;
    }
    if (!QFileInfo(item.path).isFile()) {
        ++m_missing;
        return step;
    }
    if (m_store.DocInBase(item.path)) {
        ++m_inLibrary;
        return step;
    }
    const bool pswApplies = !m_options.password.trimmed().isEmpty() && (m_options.passwordAllItems || item.selected);
    const QString password = pswApplies ? m_options.password : QString();

    const qint64 ipos = m_store.ImportAWord(item.path, QString(), password, 0);
    step.position = ipos;
    step.outcome = Outcome::Imported;
    ++m_imported;
    if (m_options.tagsModified && (m_options.tagsAllItems || item.selected)) {
        const QString tags = m_strip.GetCurrDocTags(int(ipos), m_options.tags, true);
        if (!tags.trimmed().isEmpty()) {
            m_store.SaveTags(ipos, tags, true);
        }
    }

    auto failed = [&](const QString& form, const std::exception& error) {
        m_failures.append({item.path, form.arg(ReasonOf(error))});
        step.outcome = Outcome::Failed;
        const auto* automation = dynamic_cast<const AutomationError*>(&error);
        // An office that went away is started afresh for the next file that needs one.
        if (automation != nullptr && automation->fault() == AutomationFault::Disconnected) {
            endOffice();
        }
    };

    // The text is read before the file is protected, while the built-in reader can still read it.
    if (m_options.index) {
        try {
            WriteTextCache(item.path, readText(item.path));
        } catch (const std::exception& error) {
            failed(kIndexFailed, error);
        }
    }
    if (pswApplies) {
        // The library knows the password on disk before the file gets it: a kill in between leaves a file that
        // still opens without it, never one the library cannot open. A library that cannot be written leaves the
        // file as it was.
        bool fileProtected = false;
        try {
            m_store.SaveRecDataFiles(false);
            protect(item.path, password, fileProtected);
        } catch (const std::exception& error) {
            failed(fileProtected ? kSaveFailed : kProtectFailed, error);
            if (!fileProtected) {
                m_store.SaveAStrItem(ipos, wdiPassword, QString(), true);
                try {
                    m_store.SaveRecDataFiles(false);
                } catch (...) {
                    // Written again at the end of the run, where a failure is reported.
                }
            }
        }
    }
    return step;
}

int ImportRun::remainingCount() const {
    return int(std::count_if(m_options.items.cbegin() + std::min<qsizetype>(m_next, m_options.items.size()),
                             m_options.items.cend(),
                             [](const ImportItem& item) { return !item.path.endsWith(QDir::separator()); }));
}

void ImportRun::finish() {
    endOffice();
    m_store.SaveRecDataFiles(false);
}

} // namespace velmora
