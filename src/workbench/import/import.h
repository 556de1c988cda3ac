#pragma once

#include <QObject>
#include <QStringList>

class QProgressDialog;
class QToolButton;
class QWidget;

namespace velmora {

class TagStrip;
class Workbench;
struct ImportOptions;

// Import: word documents into the library (the toolbar's 导入 button, TimpForm and its progress dialog).
class Import final : public QObject {
    Q_OBJECT

public:
    Import(Workbench& bench, QWidget* toolbar);

    QWidget* toolButton() const;
    void setTagStrip(TagStrip* strip) { m_strip = strip; }

    // The toolbar button and the menu's "导入word文档"; `files` are listed in the dialog at once.
    void tbtImportClick(const QStringList& files = {});
    bool running() const { return m_running; }
    // Stops the run before its next file, for the window to close; finished() follows once the run has ended.
    void requestCancel();

Q_SIGNALS:
    void articlesCleared();
    void articleImported(qint64 position, const QString& caption);
    // The run starts or has ended: the controls that could start other work follow it.
    void runningChanged(bool running);
    void finished();
    void closeAreaToggleWanted();

private:
    void runImport(QWidget* window, const ImportOptions& options);

    Workbench& m_bench;
    TagStrip* m_strip = nullptr;
    QToolButton* tbtImport = nullptr;
    QProgressDialog* m_progress = nullptr;
    bool m_running = false;
    bool m_cancel = false;
    bool m_closing = false;
};

} // namespace velmora
