// One sequence of the wrapper's calls against the office double and against LibreOffice: what each reports must be
// the same, so that the double the unit tests rely on cannot drift from the real servers.
#include "lofixture.h"

#include "office/officetext.h"
#include "office/tiword.h"
#include "officedouble.h"

#include <QTest>

using namespace velmora;
using namespace velmora::test;

namespace {

// Two documents, one with a password; switch between them, edit, save one under a new name, give up the other.
QStringList RunScenario(const LoEnvironment& env) {
    QStringList seen;
    const auto note = [&seen](const char* what, const auto& value) {
        seen.append(QLatin1String(what) + QLatin1Char('=') + QVariant(value).toString());
    };
    const QString plain =
        WriteTextFile(env.path(QStringLiteral("甲.txt")), {QStringLiteral("甲的第一段"), QStringLiteral("甲的第二段")});
    const QString secretSource = WriteTextFile(env.path(QStringLiteral("乙.txt")), {QStringLiteral("乙的内容")});
    const QString secret = env.path(QStringLiteral("乙.docx"));
    const QString saved = env.path(QStringLiteral("甲.docx"));
    TiWord word(true);
    word.OpenWordFile(secretSource, QString(), false);
    word.SaveAs(secret, QStringLiteral("密码"));
    word.CloseWordFileByName(secret);
    note("docs", word.OpenedDocs());

    word.OpenWordFile(plain, QString(), false);
    word.OpenWordFile(secret, QStringLiteral("密码"), false);
    note("docs", word.OpenedDocs());
    note("active", word.ActiveDocName());
    note("password", word.GetDocPropBool(0));

    note("switched", word.ActivateDoc(plain));
    note("active", word.ActiveDocName());
    note("text", word.GetDocText());
    word.ReplaceAll(QStringLiteral("甲"), QStringLiteral("丙"));
    note("plain changed", word.DocChanged(plain));
    note("secret changed", word.DocChanged(secret));

    word.SaveAs(saved, QString());
    note("active", word.ActiveDocName());
    note("full name", FileNameOf(word.ActiveDocFullName()));
    note("changed", word.ActiveDocChanged());
    note("password", word.GetDocPropBool(0));

    note("switched", word.ActivateDoc(secret));
    note("text", word.GetDocText());
    word.ReplaceAll(QStringLiteral("乙"), QStringLiteral("丁"));
    note("changed", word.ActiveDocChanged());
    word.GiveupSave();
    word.CloseCurrDocAndDoNotSaveChanges();
    note("docs", word.OpenedDocs());
    note("active", word.ActiveDocName());
    note("text", word.GetDocText());
    note("not open", word.ActivateDoc(secret));
    word.CloseAllFiles();
    note("docs", word.OpenedDocs());
    return seen;
}

} // namespace

class TestLoScenario : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void doubleAndLibreOffice_reportTheSame() {
        LoEnvironment env(false);
        QStringList fromDouble;
        {
            OfficeDouble office;
            fromDouble = RunScenario(env);
        }
        LoEnvironment::registerServers();
        const QStringList fromOffice = RunScenario(env);
        QCOMPARE(fromDouble, fromOffice);
        QTRY_VERIFY_WITH_TIMEOUT(OfficeProcessesUnder(env.root()).isEmpty(), 20000);
    }
};

QTEST_GUILESS_MAIN(TestLoScenario)
#include "tst_lo_scenario.moc"
