#include "office/tiexcel.h"
#include "office/tiword.h"
#include "officedouble.h"
#include "tempappdata.h"
#include "workbench/workbench.h"

#include <QTest>

using namespace velmora;
using namespace velmora::test;

class TestWorkbench : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void officeLink_startsOnFirstNeedAndReplacesAGoneServer_data() {
        QTest::addColumn<bool>("word");
        QTest::newRow("word") << true;
        QTest::newRow("excel") << false;
    }
    void officeLink_startsOnFirstNeedAndReplacesAGoneServer() {
        QFETCH(bool, word);
        TempAppData appData;
        OfficeDouble office;
        Workbench bench;
        auto link = [&]() -> const void* { return word ? static_cast<void*>(&bench.word()) : &bench.excel(); };
        auto started = [&] { return word ? office.words.size() : office.excels.size(); };
        QCOMPARE(started(), 0);
        const void* first = link();
        QCOMPARE(started(), 1);
        QCOMPARE(link(), first);
        QCOMPARE(started(), 1);
        if (word) {
            office.word().die();
        } else {
            office.excel().die();
        }
        link();
        QCOMPARE(started(), 2);
    }
};

QTEST_GUILESS_MAIN(TestWorkbench)
#include "tst_workbench.moc"
