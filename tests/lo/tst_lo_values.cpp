// What the servers make of the values and arguments a client sends, and how a document window is picked from the
// desktop's windows; none of it needs a running office.
#include "office/libreoffice/loobject.h"
#include "office/libreoffice/writerserver.h"
#include "platform/windows.h"

#include <QTest>

#include <com/sun/star/util/DateTime.hpp>

using namespace velmora;
using namespace velmora::lo;
using css::uno::Any;

namespace {

// A desktop whose windows the test lays out.
class ScriptedWindows final : public WindowSystem {
public:
    QList<TopWindow> windows;
    QList<TopWindow> topWindows() override { return windows; }
    bool setParent(WindowId, WindowId) override { return false; }
    bool moveWindow(WindowId, int, int, int, int) override { return false; }
    bool showWindow(WindowId, bool) override { return false; }
    bool removeFrame(WindowId) override { return false; }
};

// An object of another server, which the office has no way to hold.
class Foreign final : public Dispatch {
public:
    OleVariant getProperty(const QString&, const OleArgs&) override { return {}; }
    void putProperty(const QString&, const OleArgs&, const OleVariant&) override {}
    OleVariant callMethod(const QString&, const OleArgs&, const OleNamedArgs&) override { return {}; }
};

TopWindow Shown(WindowId id, const QString& caption) {
    TopWindow window;
    window.id = id;
    window.caption = caption;
    window.visible = true;
    return window;
}

} // namespace

Q_DECLARE_METATYPE(velmora::OleVariant)
Q_DECLARE_METATYPE(css::uno::Any)
Q_DECLARE_METATYPE(velmora::TopWindow)

class TestLoValues : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Word's positional arguments with gaps, as TiWord sends Open(FileName, , ReadOnly, , PasswordDocument).
    void requestArguments_data() {
        QTest::addColumn<OleArgs>("args");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<OleArgs>("namedValues");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("expected"); // "-" for left out

        const OleVariant gap = OleVariant::missing();
        QTest::newRow("positional") << OleArgs{"a.doc", gap, true} << QStringList() << OleArgs() << 2 << "true";
        QTest::newRow("missing is left out") << OleArgs{"a.doc", gap, true} << QStringList() << OleArgs() << 1 << "-";
        QTest::newRow("past the last argument") << OleArgs{"a.doc"} << QStringList() << OleArgs() << 4 << "-";
        QTest::newRow("by reference reads as the value")
            << OleArgs{"a.doc", gap, gap, gap, OleVariant(QStringLiteral("密码")).byRef()} << QStringList() << OleArgs()
            << 4 << "密码";
        QTest::newRow("named, letter case ignored")
            << OleArgs{"a.doc"} << QStringList{QStringLiteral("passworddocument")} << OleArgs{"pw"} << 4 << "pw";
        QTest::newRow("named wins over the same position")
            << OleArgs{"a.doc", gap, gap, gap, "positional"} << QStringList{QStringLiteral("PasswordDocument")}
            << OleArgs{"named"} << 4 << "named";
        QTest::newRow("named but missing is left out")
            << OleArgs{"a.doc"} << QStringList{QStringLiteral("PasswordDocument")} << OleArgs{gap} << 4 << "-";
        QTest::newRow("another name does not answer")
            << OleArgs{"a.doc"} << QStringList{QStringLiteral("Password")} << OleArgs{"pw"} << 4 << "-";
    }
    void requestArguments() {
        QFETCH(OleArgs, args);
        QFETCH(QStringList, names);
        QFETCH(OleArgs, namedValues);
        QFETCH(int, position);
        QFETCH(QString, expected);
        OleNamedArgs named;
        for (qsizetype i = 0; i < names.size(); ++i) {
            named.append(NamedArg{names.at(i), namedValues.at(i)});
        }
        const Request request{QStringLiteral("Open"), QStringLiteral("open"), args, named, true};
        const auto value = request.arg(position, "PasswordDocument");
        QCOMPARE(value ? value->toString().toLower() : QStringLiteral("-"), expected);
        if (value) {
            QVERIFY(!value->isByRef());
        }
    }

    void valuesToTheOffice_data() {
        QTest::addColumn<OleVariant>("value");
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << OleVariant() << "void"
                               << "";
        QTest::newRow("missing") << OleVariant::missing() << "void"
                                 << "";
        QTest::newRow("bool") << OleVariant(true) << "boolean"
                              << "true";
        QTest::newRow("int") << OleVariant(-7) << "long"
                             << "-7";
        QTest::newRow("single") << OleVariant(10.5f) << "double"
                                << "10.5";
        QTest::newRow("currency") << OleVariant::currency(2.5) << "double"
                                  << "2.5";
        QTest::newRow("Chinese text") << OleVariant(QStringLiteral("楷体")) << "string"
                                      << "楷体";
    }
    void valuesToTheOffice() {
        QFETCH(OleVariant, value);
        QFETCH(QString, type);
        QFETCH(QString, text);
        const Any any = ToAny(value);
        QCOMPARE(ToQ(any.getValueTypeName()), type);
        QCOMPARE(FromAny(any).isEmpty() ? QString() : FromAny(any).toString().toLower(), text);
    }

    void objectToTheOffice_isATypeMismatch() {
        try {
            ToAny(OleVariant(std::make_shared<Foreign>()));
            // It must not become an empty value, which would clear the property it was meant for.
            QFAIL("an object was stored");
        } catch (const AutomationError& e) {
            QCOMPARE(e.fault(), AutomationFault::TypeMismatch);
        }
    }

    void valuesFromTheOffice_data() {
        QTest::addColumn<Any>("any");
        QTest::addColumn<OleVariant>("expected");
        QTest::newRow("byte") << Any(sal_Int8(-3)) << OleVariant(-3);
        QTest::newRow("short") << Any(sal_Int16(-300)) << OleVariant(-300);
        const sal_uInt16 unsignedShort = 65535;
        // Any has no constructor for it: UNO would take it for a character.
        QTest::newRow("unsigned short") << Any(&unsignedShort, cppu::UnoType<cppu::UnoUnsignedShortType>::get())
                                        << OleVariant(65535);
        QTest::newRow("unsigned long beyond int") << Any(sal_uInt32(4000000000u)) << OleVariant(4000000000.0);
        QTest::newRow("hyper") << Any(sal_Int64(-5000000000)) << OleVariant(-5000000000.0);
        QTest::newRow("float") << Any(0.5f) << OleVariant(0.5);
        QTest::newRow("string") << Any(ToOU(QStringLiteral("中文"))) << OleVariant(QStringLiteral("中文"));
        QTest::newRow("never set date") << Any(css::util::DateTime()) << OleVariant();
        css::util::DateTime created;
        created.Year = 2024;
        created.Month = 2;
        created.Day = 29;
        created.Hours = 13;
        created.Minutes = 5;
        created.Seconds = 9;
        QTest::newRow("date") << Any(created) << OleVariant::dateTime(QDateTime(QDate(2024, 2, 29), QTime(13, 5, 9)));
        QTest::newRow("nothing") << Any() << OleVariant();
    }
    void valuesFromTheOffice() {
        QFETCH(Any, any);
        QFETCH(OleVariant, expected);
        const OleVariant value = FromAny(any);
        QVERIFY2(value == expected, qPrintable(value.describe() + QStringLiteral(" != ") + expected.describe()));
    }

    // Word's paragraph sizes in points survive the trip through the office's 1/100 mm.
    void points_roundTrip_data() {
        QTest::addColumn<double>("points");
        QTest::addColumn<int>("hmm");
        QTest::newRow("one inch") << 72.0 << 2540;
        QTest::newRow("five-and-a-half") << 10.5 << 370;
        QTest::newRow("small four") << 12.0 << 423;
        QTest::newRow("hanging indent") << -21.0 << -741;
        QTest::newRow("zero") << 0.0 << 0;
    }
    void points_roundTrip() {
        QFETCH(double, points);
        QFETCH(int, hmm);
        QCOMPARE(PointsToHmm(points), hmm);
        QVERIFY2(qAbs(HmmToPoints(hmm) - points) < 0.02, qPrintable(QString::number(HmmToPoints(hmm))));
    }

    void findWindowByCaption_data() {
        QTest::addColumn<QList<TopWindow>>("windows");
        QTest::addColumn<QString>("name");
        QTest::addColumn<WindowId>("found");
        const QString writer = QStringLiteral(" - LibreOffice Writer");
        const TopWindow report = Shown(11, QStringLiteral("报告.docx") + writer);
        TopWindow hidden = report;
        hidden.visible = false;
        TopWindow minimised = hidden;
        minimised.minimised = true;
        TopWindow owned = report;
        owned.owner = 5;
        TopWindow tool = report;
        tool.toolWindow = true;
        QTest::newRow("caption begins with the name") << QList<TopWindow>{report} << "报告.docx" << WindowId(11);
        QTest::newRow("hidden") << QList<TopWindow>{hidden} << "报告.docx" << WindowId(0);
        QTest::newRow("minimised counts though not shown")
            << QList<TopWindow>{minimised} << "报告.docx" << WindowId(11);
        QTest::newRow("owned dialog") << QList<TopWindow>{owned} << "报告.docx" << WindowId(0);
        QTest::newRow("tool window") << QList<TopWindow>{tool} << "报告.docx" << WindowId(0);
        QTest::newRow("skipped ones do not hide a later match")
            << QList<TopWindow>{owned, tool, hidden, Shown(12, QStringLiteral("报告.docx") + writer)} << "报告.docx"
            << WindowId(12);
        QTest::newRow("prefix compared with its letter case")
            << QList<TopWindow>{Shown(13, QStringLiteral("Report.docx") + writer)} << "report.docx" << WindowId(0);
        QTest::newRow("name inside the caption only")
            << QList<TopWindow>{Shown(14, QStringLiteral("副本 报告.docx") + writer)} << "报告.docx" << WindowId(0);
        QTest::newRow("among equals the newest") << QList<TopWindow>{Shown(15, QStringLiteral("文档1") + writer),
                                                                     Shown(16, QStringLiteral("文档1") + writer)}
                                                 << "文档1" << WindowId(16);
        // The newer window of a longer name must not take the document's own.
        const QList<TopWindow> notes{Shown(20, QStringLiteral("笔记.docx") + writer),
                                     Shown(21, QStringLiteral("笔记.docx.bak") + writer),
                                     Shown(22, QStringLiteral("笔记 2.docx") + writer)};
        QTest::newRow("exact caption before a longer name") << notes << "笔记.docx" << WindowId(20);
        QTest::newRow("longer name asked for") << notes << "笔记.docx.bak" << WindowId(21);
        QTest::newRow("read-only document")
            << QList<TopWindow>{Shown(23, QStringLiteral("笔记.docx (read-only)") + writer),
                                Shown(24, QStringLiteral("笔记.docx.bak") + writer)}
            << "笔记.docx" << WindowId(23);
        QTest::newRow("only a longer name: the fallback")
            << QList<TopWindow>{Shown(25, QStringLiteral("笔记.docx.bak") + writer)} << "笔记.docx" << WindowId(25);
        QTest::newRow("empty name") << QList<TopWindow>{Shown(17, QString())} << "" << WindowId(0);
    }
    void findWindowByCaption() {
        QFETCH(QList<TopWindow>, windows);
        QFETCH(QString, name);
        QFETCH(WindowId, found);
        ScriptedWindows desktop;
        desktop.windows = windows;
        QCOMPARE(FindTopWindowByCaption(desktop, name), found);
    }

    // Without X11 a tab keeps window 0: nothing is found and nothing can be moved.
    void nullWindowSystem_findsAndMovesNothing() {
        const std::unique_ptr<WindowSystem> none = MakeNullWindows();
        QVERIFY(none->topWindows().isEmpty());
        QCOMPARE(FindTopWindowByCaption(*none, QStringLiteral("文档1")), WindowId(0));
        QVERIFY(!none->setParent(42, 7));
        QVERIFY(!none->moveWindow(42, -3, 0, 640, 480));
        QVERIFY(!none->showWindow(42, true));
        QVERIFY(!none->removeFrame(42));
    }
};

QTEST_GUILESS_MAIN(TestLoValues)
#include "tst_lo_values.moc"
