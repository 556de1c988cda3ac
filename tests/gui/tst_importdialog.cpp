#include "controls.h"
#include "scriptedprompts.h"
#include "store/textcache.h"
#include "store/wordmgr.h"
#include "tempappdata.h"
#include "wordfiles.h"
#include "workbench/application.h"
#include "workbench/core/settingslist.h"
#include "workbench/import/impform.h"
#include "workbench/import/import.h"
#include "workbench/tmform.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QFocusEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>

#include <functional>
#include <memory>

using namespace velmora;
using namespace velmora::test;

// The import through the main window's controls: the dialog, the run with its progress and Cancel, closing the
// window during a run, and files dropped on the window. The documents are .docx files the built-in reader reads,
// so no office is started.
class TestImportDialog : public QObject {
    Q_OBJECT

    std::unique_ptr<TempAppData> m_appData;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    std::unique_ptr<TmForm> m_form;
    QString m_docs;

    // Runs `fill` on the import dialog once it is shown modally.
    static void whenDialog(std::function<void(QWidget*)> fill) {
        auto* poll = new QTimer;
        poll->setInterval(10);
        QObject::connect(poll, &QTimer::timeout, [poll, fill] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (dialog != nullptr && dialog->objectName() == QLatin1String("impForm")) {
                poll->deleteLater();
                poll->stop();
                fill(dialog);
            }
        });
        poll->start();
    }
    int records() const { return int(QFileInfo(m_appData->file(QStringLiteral("worddata.idx"))).size() / 35); }

private Q_SLOTS:
    void init() {
        m_appData = std::make_unique<TempAppData>();
        m_prompts = std::make_unique<ScriptedPrompts>();
        m_docs = m_appData->file(QStringLiteral("docs/"));
        QDir().mkpath(m_docs + QStringLiteral("sub"));
        for (const char* name : {"a.docx", "b.docx", "sub/c.DOCX", "x.do"}) {
            WriteBytes(m_docs + QLatin1String(name),
                       MakeDocx(QStringLiteral("<w:p><w:r><w:t>%1</w:t></w:r></w:p>").arg(QLatin1String(name))));
        }
        m_form = std::make_unique<TmForm>();
        m_form->show();
    }
    void cleanup() {
        m_form.reset();
        m_prompts.reset();
        m_appData.reset();
    }

    // A folder listed with its sub-folder (a name merely starting like a Word extension left out), tags typed for
    // the selected line. A run to its end imports every Word file in list order, indexed, only the selected one
    // tagged, its new tag a node of the tag tree. It stops after the first file by the progress window's Cancel or
    // by closing the window and saying yes; saying no lets it end. The window closes only once the loop stopped.
    // Listing a folder that is not there says so; the dialog stays open with its list.
    void listFiles_missingFolderIsTold() {
        const QString missing = m_docs + QStringLiteral("不在");
        QStringList listed;
        whenDialog([&](QWidget* dialog) {
            ctl<QLineEdit>(*dialog, "dirEdit")->setText(missing);
            QTest::mouseClick(ctl<QPushButton>(*dialog, "btListFiles"), Qt::LeftButton);
            listed = m_prompts->log;
            QTest::mouseClick(ctl<QPushButton>(*dialog, "btnCancel"), Qt::LeftButton);
        });
        QTest::mouseClick(ctl<QToolButton>(*m_form, "tbtImport"), Qt::LeftButton);
        QCOMPARE(listed, QStringList{QStringLiteral("info: 文件夹 %1 不存在").arg(missing)});
    }

    void run_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("imported");
        QTest::addColumn<QString>("summary");
        const QString done = QStringLiteral("info: 导入完成\n已导入：3 个\n已跳过：0 个\n出错：0 个");
        QTest::newRow("to the end") << "" << QStringList{"a", "b", "c"} << done;
        QTest::newRow("Cancel") << "cancel" << QStringList{"a"}
                                << "info: 导入已停止\n已导入：1 个\n已跳过：0 个\n出错：0 个\n未处理：2 个";
        // A window that closes is not held up by a summary.
        QTest::newRow("close, yes") << "close yes" << QStringList{"a"} << "";
        QTest::newRow("close, no") << "close no" << QStringList{"a", "b", "c"} << done;
    }
    void run() {
        QFETCH(QString, how);
        QFETCH(QStringList, imported);
        QFETCH(QString, summary);
        auto* import = ctl<QToolButton>(*m_form, "tbtImport");
        QAbstractItemModel* model = ctl<QTreeWidget>(*m_form, "wzTreeView")->model();
        bool shownWhileRunning = false;
        connect(model, &QAbstractItemModel::rowsInserted, this, [&] {
            if (model->rowCount() == 1 && how == u"cancel") {
                QTest::mouseClick(ctl<QPushButton>(*m_form, "btImportCancel"), Qt::LeftButton);
            } else if (model->rowCount() == 1 && how.startsWith(u"close")) {
                m_prompts->yesNoAnswers.enqueue(how == u"close yes");
                m_form->close();
                shownWhileRunning = m_form->isVisible();
            }
        });
        QString hintWhileShown;
        whenDialog([&](QWidget* dialog) {
            hintWhileShown = import->toolTip();
            ctl<QLineEdit>(*dialog, "dirEdit")->setText(m_docs);
            QTest::mouseClick(ctl<QPushButton>(*dialog, "btListFiles"), Qt::LeftButton);
            auto* list = ctl<QListWidget>(*dialog, "ListBox");
            QCOMPARE(list->count(), 4); // a, b, the sub-folder's line, c
            list->item(1)->setSelected(true);
            auto* tags = ctl<QLineEdit>(*dialog, "tagsLblEdit");
            QFocusEvent enter(QEvent::FocusIn, Qt::TabFocusReason);
            QCoreApplication::sendEvent(tags, &enter);
            QCOMPARE(tags->text(), QString());
            tags->insert(QStringLiteral("新标签"));
            tags->setModified(true);
            ctl<QRadioButton>(*dialog, "rSelItems")->setChecked(true);
            QTest::mouseClick(ctl<QPushButton>(*dialog, "btnOK"), Qt::LeftButton);
        });
        QTest::mouseClick(import, Qt::LeftButton);

        QCOMPARE(hintWhileShown, QStringLiteral("importing..."));
        QCOMPARE(import->toolTip(), QStringLiteral("导入word文档"));
        QCOMPARE(records(), imported.size());
        QCOMPARE(m_prompts->log.filter(QStringLiteral("yesno: ")).size(), how.startsWith(u"close") ? 1 : 0);
        QCOMPARE(m_prompts->log.filter(QStringLiteral("info: ")),
                 summary.isEmpty() ? QStringList() : QStringList{summary});
        QCOMPARE(m_form->isVisible(), how != u"close yes");
        QCOMPARE(shownWhileRunning, how.startsWith(u"close"));
        if (how == u"close yes") {
            return;
        }
        QVERIFY(ctl<QToolBar>(*m_form, "RzToolbar")->isEnabled());
        QCOMPARE(ArticleTitles(*m_form), imported);
        TWordMgr& store = m_form->store();
        QCOMPARE(store.ReadAStrItem(0, wdiTags, true), QString());
        QCOMPARE(store.ReadAStrItem(35, wdiTags, true), imported.size() > 1 ? QStringLiteral("新标签") : QString());
        QCOMPARE(m_form->TagInTree(QStringLiteral("新标签")), imported.size() > 1);
        QCOMPARE(ReadTextCache(m_docs + QStringLiteral("a.docx")), QStringLiteral("a.docx\r\n"));
    }

    // Every run ends with what it did: files passed over because the library has them or they are gone, and
    // files whose text could not be read (their records stay), each failure named with its reason.
    void summary_data() {
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<int>("recordCount"); // old.docx included
        QTest::newRow("one already in the library, one listed twice")
            << QStringList{"old.docx", "a.docx", "a.docx"}
            << "导入完成\n已导入：1 个\n已跳过：2 个（已在资料库中 2 个）\n出错：0 个" << 2;
        QTest::newRow("gone since listed")
            << QStringList{"a.docx", "gone.docx", "sub/"}
            << "导入完成\n已导入：1 个\n已跳过：1 个（文件不存在 1 个）\n出错：0 个" << 2;
        QTest::newRow("unreadable") << QStringList{"bad.docx", "b.docx"}
                                    << "导入完成\n已导入：2 个\n已跳过：0 个\n出错：1 个\n\n1个文档导入时出错：\n"
                                       "<docs>bad.docx\n    建立索引失败："
                                    << 3;
    }
    void summary() {
        QFETCH(QStringList, listed);
        QFETCH(QString, summary);
        QFETCH(int, recordCount);
        WriteBytes(m_docs + QStringLiteral("old.docx"), MakeDocx(QStringLiteral("<w:p/>")));
        m_form->store().ImportAWord(m_docs + QStringLiteral("old.docx"), QString(), QString(), 0);
        WriteBytes(m_docs + QStringLiteral("bad.docx"), "not a zip");
        QStringList files;
        for (const QString& name : std::as_const(listed)) {
            files.append(m_docs + name);
        }
        whenDialog([this](QWidget* dialog) {
            QFile::remove(m_docs + QStringLiteral("gone.docx"));
            QTest::mouseClick(ctl<QPushButton>(*dialog, "btnOK"), Qt::LeftButton);
        });
        WriteBytes(m_docs + QStringLiteral("gone.docx"), MakeDocx(QStringLiteral("<w:p/>")));
        ctl<Import>(*m_form, "import")->tbtImportClick(files);
        QCOMPARE(m_prompts->log.size(), 1);
        summary.replace(QStringLiteral("<docs>"), m_docs);
        QVERIFY2(m_prompts->log.first().startsWith(QStringLiteral("info: ") + summary),
                 qPrintable(m_prompts->log.first()));
        // The library counts the one it had before, and keeps the record of a file that failed.
        QCOMPARE(records(), recordCount);
    }

    // The dialog's own controls on a list of three with the second selected.
    void dialogControls_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<bool>("ctrl");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("index");
        QTest::addColumn<int>("closeAreaToggles");
        const QStringList all{"a", "b", "c"};
        QTest::newRow("remove the selected") << "btDelete" << false << QStringList{"a", "c"} << true << 0;
        QTest::newRow("remove the others") << "btRemoveNoSelItem" << false << QStringList{"b"} << true << 0;
        QTest::newRow("index caption") << "Label2" << false << all << false << 0;
        QTest::newRow("hint") << "Label1" << false << all << true << 0;
        QTest::newRow("hint with Ctrl") << "Label1" << true << all << true << 1;
    }
    void dialogControls() {
        QFETCH(QString, control);
        QFETCH(bool, ctrl);
        QFETCH(QStringList, lines);
        QFETCH(bool, index);
        QFETCH(int, closeAreaToggles);
        SettingsList settings;
        TimpForm dialog(settings, {"a", "b", "c"}, nullptr);
        dialog.show();
        ctl<QListWidget>(dialog, "ListBox")->item(1)->setSelected(true);
        QSignalSpy toggles(&dialog, &TimpForm::closeAreaToggleWanted);
        QTest::mouseClick(dialog.findChild<QWidget*>(control), Qt::LeftButton,
                          ctrl ? Qt::ControlModifier : Qt::NoModifier);
        QCOMPARE(dialog.listedFiles(), lines);
        QCOMPARE(dialog.options().index, index);
        QCOMPARE(toggles.size(), closeAreaToggles);
        auto* password = ctl<QLineEdit>(dialog, "ledPSW");
        QTest::mousePress(ctl<QToolButton>(dialog, "btPSView"), Qt::LeftButton);
        QCOMPARE(password->echoMode(), QLineEdit::Normal);
        QTest::mouseRelease(ctl<QToolButton>(dialog, "btPSView"), Qt::LeftButton);
        QCOMPARE(password->echoMode(), QLineEdit::Password);
    }

    // Word files and folders dropped from a file manager open the dialog with them listed; other files are left
    // out.
    void drop_opensDialogWithFiles() {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(m_docs + QStringLiteral("a.docx")),
                      QUrl::fromLocalFile(m_docs + QStringLiteral("x.do")),
                      QUrl::fromLocalFile(m_docs + QStringLiteral("sub"))});
        QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QStringList listed;
        whenDialog([&](QWidget* dialog) {
            auto* list = ctl<QListWidget>(*dialog, "ListBox");
            for (int i = 0; i < list->count(); ++i) {
                listed.append(list->item(i)->text().remove(m_docs));
            }
            QTest::mouseClick(ctl<QPushButton>(*dialog, "btnCancel"), Qt::LeftButton);
        });
        // As a file manager's drop arrives: entering first, then the drop.
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_form.get(), &enter);
        QVERIFY(enter.isAccepted());
        QCoreApplication::sendEvent(m_form.get(), &drop);
        QTRY_COMPARE(listed, (QStringList{"a.docx", "sub/c.DOCX"}));
        QCOMPARE(records(), 0);
    }
};

int main(int argc, char* argv[]) {
    VelmoraApplication app(argc, argv);
    TestImportDialog test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_importdialog.moc"
