#include "office/automation/automationerror.h"
#include "office/automation/dispatch.h"
#include "office/automation/oleserver.h"

#include <QTest>

using namespace velmora;

namespace {

// An object whose default member holds one value; it counts the requests it gets.
class ValueObject final : public Dispatch {
public:
    explicit ValueObject(OleVariant value) : m_value(std::move(value)) {}

    OleVariant getProperty(const QString& name, const OleArgs&) override {
        ++reads;
        if (name.isEmpty() || MemberIs(name, QLatin1String("Value"))) {
            return m_value;
        }
        throw AutomationError(QStringLiteral("Unknown name"), AutomationFault::UnknownMember);
    }
    void putProperty(const QString&, const OleArgs&, const OleVariant& value) override { m_value = value; }
    OleVariant callMethod(const QString& name, const OleArgs& args, const OleNamedArgs&) override {
        return getProperty(name, args);
    }

    int reads = 0;

private:
    OleVariant m_value;
};

const QString kProgId = QStringLiteral("Test.Application");

} // namespace

Q_DECLARE_METATYPE(velmora::OleVariant)

class TestAutomation : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup();

    void conversions_data();
    void conversions();
    void conversions_thatDoNotFit_raise_data();
    void conversions_thatDoNotFit_raise();
    void describe_showsKindAndPassing_data();
    void describe_showsKindAndPassing();
    void object_convertsThroughDefaultMember();
    void members_onNonObject_raise();

    void registry_createsFromFactory();
    void registry_withoutServer_raisesNoServer();
    void registry_factoryFailure_becomesAutomationError();
    void registry_runningTable_data();
    void registry_runningTable();
    void registry_finderIsAskedOnlyWhenNothingRuns();
};

void TestAutomation::cleanup() {
    UnregisterOleServer(kProgId);
    SetActiveObjectFinder(kProgId, nullptr);
}

void TestAutomation::conversions_data() {
    QTest::addColumn<OleVariant>("value");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("integer");
    QTest::addColumn<double>("real");
    QTest::addColumn<bool>("flag");

    QTest::newRow("empty") << OleVariant() << "" << 0 << 0.0 << false;
    QTest::newRow("true") << OleVariant(true) << "True" << -1 << -1.0 << true;
    QTest::newRow("int") << OleVariant(16) << "16" << 16 << 16.0 << true;
    QTest::newRow("single 10.5") << OleVariant(10.5f) << "10.5" << 10 << 10.5 << true;
    QTest::newRow("single 0.35 reads as written") << OleVariant(0.35f) << "0.35" << 0 << double(0.35f) << true;
    QTest::newRow("double rounds half to even") << OleVariant(2.5) << "2.5" << 2 << 2.5 << true;
    QTest::newRow("currency keeps four decimals") << OleVariant::currency(0.35) << "0.35" << 0 << 0.35 << true;
    QTest::newRow("negative currency") << OleVariant::currency(-1.0625) << "-1.0625" << -1 << -1.0625 << true;
    QTest::newRow("number text") << OleVariant(QStringLiteral(" 42 ")) << " 42 " << 42 << 42.0 << true;
    QTest::newRow("date") << OleVariant::date(45000.5) << "2023-03-15 12:00:00" << 45000 << 45000.5 << true;
}

void TestAutomation::conversions() {
    QFETCH(OleVariant, value);
    QFETCH(QString, text);
    QFETCH(int, integer);
    QFETCH(double, real);
    QFETCH(bool, flag);

    QCOMPARE(value.toString(), text);
    QCOMPARE(value.toInt(), integer);
    QCOMPARE(value.toDouble(), real);
    QCOMPARE(value.toBool(), flag);
}

void TestAutomation::conversions_thatDoNotFit_raise_data() {
    QTest::addColumn<OleVariant>("value");
    QTest::addColumn<int>("which");

    QTest::newRow("word to int") << OleVariant(QStringLiteral("abc")) << 0;
    QTest::newRow("word to bool") << OleVariant(QStringLiteral("abc")) << 1;
    QTest::newRow("too large for int") << OleVariant(3.0e10) << 0;
    QTest::newRow("missing to int") << OleVariant::missing() << 0;
    QTest::newRow("not a number to int") << OleVariant(std::nan("")) << 0;
}

void TestAutomation::conversions_thatDoNotFit_raise() {
    QFETCH(OleVariant, value);
    QFETCH(int, which);

    try {
        if (which == 0) {
            value.toInt();
        } else {
            value.toBool();
        }
        QFAIL("no error raised");
    } catch (const AutomationError& e) {
        QCOMPARE(e.fault(), AutomationFault::TypeMismatch);
    }
}

void TestAutomation::describe_showsKindAndPassing_data() {
    QTest::addColumn<OleVariant>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("int by reference") << OleVariant(7).byRef() << "&int:7";
    QTest::newRow("currency") << OleVariant::currency(2.5) << "cur:2.5";
    QTest::newRow("single") << OleVariant(10.5f) << "single:10.5";
    QTest::newRow("double") << OleVariant(10.5) << "double:10.5";
    QTest::newRow("text") << OleVariant(QStringLiteral("微软雅黑")) << "\"微软雅黑\"";
    QTest::newRow("missing by reference") << OleVariant::missing().byRef() << "&missing";
    QTest::newRow("bool") << OleVariant(false) << "bool:false";
    QTest::newRow("back to by value") << OleVariant(true).byRef().byValue() << "bool:true";
}

void TestAutomation::describe_showsKindAndPassing() {
    QFETCH(OleVariant, value);
    QFETCH(QString, text);
    QCOMPARE(value.describe(), text);
}

void TestAutomation::object_convertsThroughDefaultMember() {
    auto object = std::make_shared<ValueObject>(OleVariant(12));
    const OleVariant value{std::shared_ptr<Dispatch>(object)};
    QCOMPARE(value.toString(), QStringLiteral("12"));
    QCOMPARE(value.toInt(), 12);
    QCOMPARE(object->reads, 2);
    // Member names match without regard to case.
    QCOMPARE(value.get(QStringLiteral("vALUE")).toInt(), 12);
    QVERIFY(value == OleVariant(std::shared_ptr<Dispatch>(object)));
}

void TestAutomation::members_onNonObject_raise() {
    try {
        OleVariant(3).get(QStringLiteral("Count"));
        QFAIL("no error raised");
    } catch (const AutomationError& e) {
        QCOMPARE(e.fault(), AutomationFault::NotAnObject);
    }
}

void TestAutomation::registry_createsFromFactory() {
    int made = 0;
    RegisterOleServer(kProgId, [&made] {
        ++made;
        return std::make_shared<ValueObject>(OleVariant(made));
    });
    QCOMPARE(CreateOleObject(QStringLiteral("test.APPLICATION")).toInt(), 1);
    QCOMPARE(CreateOleObject(kProgId).toInt(), 2);
    // Creating is not running: only a server that registers itself is found as the running one.
    QVERIFY(!IsOleServerRunning(kProgId));
    // A private server comes from the private factory when there is one, otherwise from the common one.
    QCOMPARE(CreatePrivateOleObject(kProgId).toInt(), 3);
    RegisterOleServer(
        kProgId, [] { return std::make_shared<ValueObject>(OleVariant(QStringLiteral("common"))); },
        [] { return std::make_shared<ValueObject>(OleVariant(QStringLiteral("private"))); });
    QCOMPARE(CreatePrivateOleObject(kProgId).toString(), QStringLiteral("private"));
    QCOMPARE(CreateOleObject(kProgId).toString(), QStringLiteral("common"));
}

void TestAutomation::registry_withoutServer_raisesNoServer() {
    try {
        CreateOleObject(kProgId);
        QFAIL("no error raised");
    } catch (const AutomationError& e) {
        QCOMPARE(e.fault(), AutomationFault::NoServer);
    }
    QVERIFY_THROWS_EXCEPTION(AutomationError, GetActiveOleObject(kProgId));
}

void TestAutomation::registry_factoryFailure_becomesAutomationError() {
    RegisterOleServer(kProgId, []() -> std::shared_ptr<Dispatch> { throw std::runtime_error("no display"); });
    try {
        CreateOleObject(kProgId);
        QFAIL("no error raised");
    } catch (const AutomationError& e) {
        QCOMPARE(e.message(), QStringLiteral("no display"));
    }
    RegisterOleServer(kProgId, [] { return std::shared_ptr<Dispatch>(); });
    QVERIFY_THROWS_EXCEPTION(AutomationError, CreateOleObject(kProgId));
}

void TestAutomation::registry_runningTable_data() {
    QTest::addColumn<int>("registered");
    QTest::addColumn<int>("revokeFirst");
    QTest::addColumn<bool>("running");
    QTest::addColumn<int>("active");

    QTest::newRow("none") << 0 << 0 << false << 0;
    QTest::newRow("one") << 1 << 0 << true << 1;
    QTest::newRow("earliest is active") << 2 << 0 << true << 1;
    QTest::newRow("one quits") << 1 << 1 << false << 0;
    QTest::newRow("next takes over") << 2 << 1 << true << 2;
}

void TestAutomation::registry_runningTable() {
    QFETCH(int, registered);
    QFETCH(int, revokeFirst);
    QFETCH(bool, running);
    QFETCH(int, active);

    QList<std::shared_ptr<Dispatch>> servers;
    for (int i = 1; i <= registered; ++i) {
        servers.append(std::make_shared<ValueObject>(OleVariant(i)));
        RegisterActiveObject(kProgId, servers.last());
        RegisterActiveObject(kProgId, servers.last());
    }
    if (revokeFirst) {
        RevokeActiveObject(QStringLiteral("TEST.application"), servers.first().get());
    }
    QCOMPARE(IsOleServerRunning(kProgId), running);
    if (running) {
        QCOMPARE(GetActiveOleObject(kProgId).toInt(), active);
    }
    for (const auto& server : servers) {
        RevokeActiveObject(kProgId, server.get());
    }
    QVERIFY(!IsOleServerRunning(kProgId));
}

void TestAutomation::registry_finderIsAskedOnlyWhenNothingRuns() {
    // A server that another program starts later is found when a client asks, not only at start-up.
    auto outside = std::make_shared<ValueObject>(OleVariant(7));
    bool started = false;
    int asked = 0;
    SetActiveObjectFinder(QStringLiteral("TEST.APPLICATION"), [&] {
        ++asked;
        if (started) {
            RegisterActiveObject(kProgId, outside);
        }
    });
    QVERIFY(!IsOleServerRunning(kProgId));
    QVERIFY_THROWS_EXCEPTION(AutomationError, GetActiveOleObject(kProgId));
    QCOMPARE(asked, 2);
    started = true;
    QVERIFY(IsOleServerRunning(kProgId));
    QCOMPARE(GetActiveOleObject(kProgId).toInt(), 7);
    QCOMPARE(asked, 3);
    RevokeActiveObject(kProgId, outside.get());

    // A finder that fails finds nothing.
    SetActiveObjectFinder(kProgId, [] { throw AutomationError(QStringLiteral("pipe gone")); });
    QVERIFY(!IsOleServerRunning(kProgId));
}

QTEST_GUILESS_MAIN(TestAutomation)
#include "tst_automation.moc"
