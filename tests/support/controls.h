#pragma once

#include <QStringList>
#include <QTreeWidget>

namespace velmora::test {

// A control by its object name anywhere under parent. A missing control ends the run with its name, where a null
// pointer would end it with a crash that names nothing.
template <typename T = QWidget>
T* ctl(const QObject& parent, const QString& name) {
    T* found = parent.findChild<T*>(name);
    if (found == nullptr) {
        qFatal("no control %s", qPrintable(name));
    }
    return found;
}

template <typename T = QWidget>
T* ctl(const QObject& parent, const char* name) {
    return ctl<T>(parent, QString::fromLatin1(name));
}

enum class TitleOrder { AsListed, Sorted };

// The titles the article list (wzTreeView) under window shows.
inline QStringList ArticleTitles(const QObject& window, TitleOrder order = TitleOrder::AsListed) {
    const auto* list = ctl<QTreeWidget>(window, "wzTreeView");
    QStringList titles;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        titles.append(list->topLevelItem(i)->text(0));
    }
    if (order == TitleOrder::Sorted) {
        titles.sort();
    }
    return titles;
}

} // namespace velmora::test
