#pragma once

#include "controls.h"
#include "workbench/search/search.h"
#include "workbench/workbench.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStringList>
#include <QWidget>

namespace velmora::test {

// Searches every document's text for all of words through the search area's own controls, as a user does, and
// returns each position list the search published; none when it found nothing or did not end in two minutes
// (an office reading the documents takes its time).
inline QStringList SearchWholeText(Workbench& bench, const QString& words) {
    QWidget host;
    Search search(bench, &host, &host);
    ctl<QCheckBox>(host, "ckAllText")->setChecked(true);
    ctl<QCheckBox>(host, "ckFileName")->setChecked(false);
    ctl<QCheckBox>(host, "ckTag")->setChecked(false);
    ctl<QRadioButton>(host, "rAandB")->setChecked(true);
    QSignalSpy found(&search, &Search::positionsReady);
    QSignalSpy ended(&search, &Search::searchEnded);
    auto* box = ctl<QLineEdit>(host, "schEdit");
    box->setText(words);
    Q_EMIT box->returnPressed();
    if (!ended.wait(120000)) {
        qWarning("the search did not end");
        return {};
    }
    QStringList lists;
    for (const QList<QVariant>& signal : std::as_const(found)) {
        lists.append(signal.first().toString());
    }
    return lists;
}

} // namespace velmora::test
