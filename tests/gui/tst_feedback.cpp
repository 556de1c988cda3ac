// What the window tells the user and how it lays itself out, in the real window against the office double: the
// settings dialog's checks, the search options and the common tags at the window's sizes, where pickers start.
#include "common/textcodec.h"
#include "controls.h"
#include "libraryfiles.h"
#include "officedouble.h"
#include "scriptedprompts.h"
#include "tempappdata.h"
#include "treeshape.h"
#include "workbench/application.h"
#include "workbench/core/treefile.h"
#include "workbench/dialogs/fmsetting.h"
#include "workbench/tmform.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <functional>
#include <memory>

using namespace velmora;
using namespace velmora::test;

class TestFeedback : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<TempAppData> m_appData;
    std::unique_ptr<ScriptedPrompts> m_prompts;
    std::unique_ptr<OfficeDouble> m_office;
    std::unique_ptr<TmForm> m_form;

    QString file(const QString& name) const { return m_appData->file(name); }
    QString documents() const { return m_home->path() + QStringLiteral("/Documents/"); }
    // The settings file with every key, the three named ones as given; a library of a.docx tagged t; the window.
    void open(const QString& importDir = {}, const QString& saveAsDir = {}, const QString& interval = "5") {
        WriteTextFile(file(QStringLiteral("settings.ini")),
                      {"ImportDir=" + importDir, "SaveAsDir=" + saveAsDir, "SortType=文章标题",
                       "WinPosLTHW=", "LastTag=", "LastNode=-1", "AutoGoBack=0", "AutoSaveInterval=" + interval});
        WriteLibrary({{"a.docx", "t"}});
        m_office->disk.insert(DocPath(QStringLiteral("a.docx")), DiskFile{QStringLiteral("text\r")});
        SaveTreeFile(file(QStringLiteral("TagTVItems.dat")), TreeOf("t"));
        m_form = std::make_unique<TmForm>();
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }

    void openArticle() {
        auto* tree = ctl<QTreeWidget>(*m_form, "tagTreeView");
        QTreeWidgetItem* node = m_form->FindTagNode(QStringLiteral("t"));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(node).center());
        auto* list = ctl<QTreeWidget>(*m_form, "wzTreeView");
        QVERIFY(list->topLevelItemCount() > 0);
        list->setCurrentItem(list->topLevelItem(0));
        QTest::keyClick(list, Qt::Key_Return);
    }

    // The rectangle of a widget in its window's coordinates.
    static QRect inWindow(const QWidget* widget) {
        return QRect(widget->mapTo(widget->window(), QPoint(0, 0)), widget->size());
    }

private Q_SLOTS:
    void initTestCase() {
        // The documents folder is the user's: a home of the test's own, with the desktop's default name for it.
        m_home = std::make_unique<QTemporaryDir>();
        qputenv("HOME", m_home->path().toLocal8Bit());
        qunsetenv("XDG_CONFIG_HOME");
    }
    void init() {
        QDir().mkpath(documents());
        m_appData = std::make_unique<TempAppData>();
        m_prompts = std::make_unique<ScriptedPrompts>();
        m_office = std::make_unique<OfficeDouble>();
        m_office->startWord();
    }
    void cleanup() {
        m_form.reset();
        m_office.reset();
        m_prompts.reset();
        m_appData.reset();
    }

    // OK keeps only an interval the program can use; anything else names the field and leaves the dialog open,
    // and the interval is written only when the dialog closes with OK. Cancel and Esc write nothing.
    // Qt's file dialogs speak Chinese with the window, also where the system's locale is another.
    void qtTexts_chineseWhateverTheLocale() {
        const QLocale system = QLocale::system();
        QTranslator texts;
        QVERIFY2(LoadQtTexts(texts), qPrintable(system.name()));
        QCOMPARE(texts.translate("QFileDialog", "Look in:"), QStringLiteral("查找范围："));
    }

    void settings_okRefusesWhatCannotBeUsed_data() {
        // stored | typed ("-": the stored text left) | how it is closed | refused ("!") | written
        QTest::addColumn<QString>("flow");
        QTest::newRow("ten") << "5|10|ok||10";
        QTest::newRow("none") << "5|0|ok||0";
        QTest::newRow("leading zeros") << "5|007|ok||7";
        QTest::newRow("emptied") << "5||ok|!|5";
        QTest::newRow("stored text is no number") << "abc|-|ok|!|abc";
        QTest::newRow("Cancel") << "5|10|cancel||5";
        QTest::newRow("Esc") << "5|10|esc||5";
    }
    void settings_okRefusesWhatCannotBeUsed() {
        QFETCH(QString, flow);
        const QStringList part = flow.split(u'|');
        const QString stored = part[0], typed = part[1], close = part[2], written = part[4];
        const bool refused = !part[3].isEmpty();
        open({}, {}, stored);
        bool stayedOpen = false;
        bool fieldFocused = false;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<TfmSetting*>(QApplication::activeModalWidget());
            QVERIFY(dialog != nullptr);
            // A failed check must not leave the test waiting on the dialog.
            const auto closeLeftOpen = qScopeGuard([dialog] {
                if (dialog->isVisible()) {
                    dialog->reject();
                }
            });
            QCOMPARE(dialog->svEdit->text(), stored);
            if (typed != u"-") {
                dialog->svEdit->clear();
                QTest::keyClicks(dialog->svEdit, typed);
            }
            dialog->ckGoBack->setChecked(true);
            if (close == u"cancel") {
                QTest::mouseClick(dialog->btCancel, Qt::LeftButton);
            } else if (close == u"esc") {
                QTest::keyClick(dialog, Qt::Key_Escape);
            } else {
                QTest::mouseClick(dialog->btOK, Qt::LeftButton);
            }
            stayedOpen = dialog->isVisible();
            fieldFocused = dialog->focusWidget() == dialog->svEdit;
            if (stayedOpen) {
                QTest::mouseClick(dialog->btCancel, Qt::LeftButton);
            }
        });
        QTest::mouseClick(ctl<QToolButton>(*m_form, "BtnUtilities"), Qt::LeftButton);
        QCOMPARE(stayedOpen, refused);
        QCOMPARE(fieldFocused, refused);
        QCOMPARE(m_prompts->log,
                 refused ? QStringList{"info: “自动保存word文档间隔（分钟）”须为 0 到 999 的整数，0 表示不自动保存"}
                         : QStringList());
        QCOMPARE(m_form->setting(QStringLiteral("AutoSaveInterval")), written);
        QCOMPARE(m_form->setting(QStringLiteral("AutoGoBack")),
                 close == u"ok" && !refused ? QStringLiteral("1") : QStringLiteral("0"));
    }

    // At the window's default size and at 1180 pixels wide, the search options show whole without scrolling, and
    // the common-tags panel with its buttons lies inside the window.
    void layout_optionsAndCommonTagsInsideWindow_data() {
        QTest::addColumn<QSize>("size"); // empty: the default
        QTest::newRow("default") << QSize();
        QTest::newRow("1180 wide") << QSize(1180, 640);
    }
    void layout_optionsAndCommonTagsInsideWindow() {
        QFETCH(QSize, size);
        open();
        if (size.isValid()) {
            m_form->resize(size);
        }
        QCoreApplication::processEvents();
        const QRect window = m_form->rect();
        auto* options = ctl<QScrollArea>(*m_form, "pnlSchOption");
        QVERIFY(options->isVisible());
        QVERIFY(window.contains(inWindow(options)));
        QVERIFY(!options->horizontalScrollBar()->isVisible());
        const QList<QAbstractButton*> buttons = options->findChildren<QAbstractButton*>();
        QVERIFY(buttons.size() >= 10);
        for (const QAbstractButton* button : buttons) {
            const QRect shown(button->mapTo(options->viewport(), QPoint(0, 0)), button->size());
            QVERIFY2(options->viewport()->rect().contains(shown), qPrintable(button->objectName()));
            // Its whole caption fits.
            QVERIFY2(button->width() >= button->sizeHint().width(), qPrintable(button->objectName()));
        }

        QTest::mouseClick(ctl<QToolButton>(*m_form, "btAddTag"), Qt::LeftButton);
        auto* panel = ctl<QWidget>(*m_form, "scPnl");
        QTRY_VERIFY(panel->isVisible());
        QVERIFY(window.contains(inWindow(panel)));
        for (const char* name : {"btTagEdit", "btTagSave", "btCloseSCPnl", "tagGrid"}) {
            QWidget* part = ctl<QWidget>(*m_form, name);
            QVERIFY2(part->isVisible() && window.contains(inWindow(part)), name);
        }
        // Its grid shows all its columns.
        auto* grid = ctl<QAbstractScrollArea>(*m_form, "tagGrid");
        QVERIFY(!grid->horizontalScrollBar()->isVisible());
    }

    // File, folder and save pickers start in the folder last used, else in the user's documents folder (else the
    // home folder), never in the program's folder or the working folder.
    void pickers_startInLastFolderOrDocuments_data() {
        // picker | ImportDir | SaveAsDir | where it starts; "nodocs" runs without a documents folder
        QTest::addColumn<QString>("flow");
        QTest::newRow("import files, last import folder") << "files|<docs>||<docs>";
        QTest::newRow("import files, last folder gone") << "files|<gone>||<documents>";
        QTest::newRow("import files, none yet") << "files|||<documents>";
        QTest::newRow("import files, relative folder") << "files|docs||<documents>";
        QTest::newRow("import files, no documents folder") << "files|||<home>|nodocs";
        QTest::newRow("import folder, none yet") << "folder|||<documents>";
        QTest::newRow("import folder, last import folder") << "folder|<docs>||<docs>";
        QTest::newRow("save as, last save folder") << "save|<docs>|<saved>|<saved>";
        QTest::newRow("save as, last import folder") << "save|<docs>||<docs>";
        QTest::newRow("save as, none yet") << "save|||<documents>";
    }
    void pickers_startInLastFolderOrDocuments() {
        QFETCH(QString, flow);
        const QStringList part = flow.split(u'|');
        const QString picker = part[0], importDir = part[1], saveAsDir = part[2], start = part[3];
        const bool documentsExist = part.size() < 5;
        QDir().mkpath(file(QStringLiteral("saved")));
        if (!documentsExist) {
            QVERIFY(QDir(documents()).removeRecursively());
        }
        const auto fill = [this](QString text) {
            return text.replace(QStringLiteral("<docs>"), DocPath(QString()))
                .replace(QStringLiteral("<gone>"), file(QStringLiteral("gone/")))
                .replace(QStringLiteral("<saved>"), file(QStringLiteral("saved/")))
                .replace(QStringLiteral("<documents>"), documents())
                .replace(QStringLiteral("<home>"), m_home->path() + u'/');
        };
        open(fill(importDir), fill(saveAsDir));
        QString started;
        if (picker == u"save") {
            openArticle();
            m_prompts->saveFileAnswers.enqueue(QString());
            ctl<QAction>(*m_form, "ItemSaveAs")->trigger();
            started = m_prompts->lastSaveDir;
        } else {
            QTimer::singleShot(0, this, [&] {
                QWidget* dialog = QApplication::activeModalWidget();
                QVERIFY(dialog != nullptr);
                if (picker == u"files") {
                    m_prompts->openFileAnswers.enqueue({});
                    QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("btFileBrowse")), Qt::LeftButton);
                } else {
                    m_prompts->folderAnswers.enqueue(QString());
                    QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("btBrowse")), Qt::LeftButton);
                }
                QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("btnCancel")), Qt::LeftButton);
            });
            QTest::mouseClick(ctl<QToolButton>(*m_form, "tbtImport"), Qt::LeftButton);
            started = picker == u"files" ? m_prompts->lastOpenDir : m_prompts->lastFolderDir;
        }
        QCOMPARE(started, fill(start));
        QVERIFY(started != QDir::currentPath() + u'/');
    }
};

int main(int argc, char* argv[]) {
    VelmoraApplication app(argc, argv);
    TestFeedback test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_feedback.moc"
