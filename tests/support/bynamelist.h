#pragma once

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QTimer>

namespace velmora::test {

// Answers the window's list of matches by name alone (relinkByNameDialog) the next time it is shown: notes each
// entry it offered, with "+" when it came ticked and "-" when not, ticks every entry when `tick`, and presses OK.
inline void AnswerByNameList(QObject* context, bool tick, QStringList* offered) {
    auto* poll = new QTimer(context);
    QObject::connect(poll, &QTimer::timeout, context, [tick, offered, poll] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (dialog == nullptr || dialog->objectName() != QLatin1String("relinkByNameDialog")) {
            return;
        }
        poll->deleteLater();
        auto* list = dialog->findChild<QListWidget*>(QStringLiteral("relinkByNameList"));
        QVERIFY(list != nullptr && !list->accessibleName().isEmpty());
        for (int i = 0; i < list->count(); ++i) {
            offered->append(list->item(i)->text() + (list->item(i)->checkState() == Qt::Checked ? "+" : "-"));
            if (tick) {
                list->item(i)->setCheckState(Qt::Checked);
            }
        }
        QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("btRelinkByNameOK")), Qt::LeftButton);
    });
    poll->start(20);
}

} // namespace velmora::test
