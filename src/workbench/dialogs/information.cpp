#include "information.h"

#include "common/datetime.h"
#include "common/fileinfo.h"
#include "common/prompts.h"
#include "office/tiword.h"
#include "workbench/application.h"
#include "workbench/controls.h"
#include "workbench/core/doctab.h"
#include "workbench/shell.h"
#include "workbench/tabs/activedocument.h"
#include "workbench/workbench.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>

#include <array>

namespace velmora {

namespace {

// What a count label shows and where its value comes from: GetDocProp's collection index, or the page count.
struct CountLabel {
    const char* name;
    const char* format;
    int collection;
};

constexpr int kPages = -1;
// In the order they are filled; the labels stand in this order too.
constexpr std::array<CountLabel, 13> kCounts{{
    {"lbCharNum", "字符数：  %d", 1},
    {"lbBookmarkNum", "书签数：  %d", 0},
    {"lbParaNum", "段落数：  %d", 10},
    {"lbLinkNum", "链接数：  %d", 6},
    {"lbPageNum", "页面数：  %d", kPages},
    {"lbTableNum", "表格数：  %d", 15},
    {"lbShapeNum", "图形数：  %d", 13},
    {"lbCommentNum", "注释数：  %d", 2},
    {"lbSentenceNum", "语句数：  %d", 12},
    {"lbFootNum", "脚注数：  %d", 5},
    {"lbEndNum", "尾注数：  %d", 3},
    {"lbCateNum", "目录数：  %d", 18},
    {"lbField", "域数目：  %d", 4},
}};

const QString kCreateFormat = QStringLiteral("创建日期：%s");
const QString kModiFormat = QStringLiteral("修改日期：%s");
// The window colour 16184302 of the design, a pale blue grey.
const QColor kBackground(238, 244, 246);

QLabel* formatLabel(QWidget* parent, const QString& name, const QString& format) {
    auto* label = Named(new QLabel(format, parent), name);
    // The design caption is kept as the format, so that filling it twice starts from the design again.
    label->setProperty("format", format);
    Describe(label, format);
    return label;
}

void fillLabel(QLabel* label, const QString& placeholder, const QString& value) {
    const QString text = label->property("format").toString().replace(placeholder, value);
    label->setText(text);
    Describe(label, text);
}

} // namespace

QString InfoDateText(double days) {
    const QDateTime time = DaysToDateTime(days);
    const QString date = time.toString(QStringLiteral("yyyy/M/d"));
    if (time.time() == QTime(0, 0)) {
        return date;
    }
    return date + u' ' + time.toString(QStringLiteral("H:mm:ss"));
}

TinfoForm::TinfoForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TinfoForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("word文档属性"));
    Describe(this, windowTitle());
    setFixedSize(449, 288);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, kBackground);
    setPalette(colours);
    setAutoFillBackground(true);

    auto* layout = new QGridLayout(this);
    auto* nameRow = new QHBoxLayout;
    auto* nameLabel = new QLabel(QStringLiteral("文件名："), this);
    edDocName = Named(new QLineEdit(this), QStringLiteral("edDocName"));
    edDocName->setReadOnly(true);
    QPalette face = edDocName->palette();
    face.setColor(QPalette::Base, face.color(QPalette::Button));
    edDocName->setPalette(face);
    nameLabel->setBuddy(edDocName);
    Describe(edDocName, QStringLiteral("文件名"));
    auto* btDocPath = Named(new QPushButton(QStringLiteral("定位"), this), QStringLiteral("btDocPath"));
    Describe(btDocPath, QStringLiteral("定位"), QStringLiteral("在文件管理器中显示文件"));
    nameRow->addWidget(nameLabel);
    nameRow->addWidget(edDocName, 1);
    nameRow->addWidget(btDocPath);
    layout->addLayout(nameRow, 0, 0, 1, 3);

    auto* Label13 = Named(new QLabel(QStringLiteral("文档统计"), this), QStringLiteral("Label13"));
    QFont bold = Label13->font();
    bold.setBold(true);
    Label13->setFont(bold);
    Label13->setStyleSheet(QStringLiteral("color: teal;"));
    Describe(Label13, Label13->text());
    layout->addWidget(Label13, 1, 0, 1, 3);
    int i = 0;
    for (const CountLabel& count : kCounts) {
        layout->addWidget(formatLabel(this, QString::fromLatin1(count.name), QString::fromUtf8(count.format)),
                          2 + i / 3, i % 3);
        ++i;
    }
    const int dateRow = 2 + (i + 2) / 3;
    layout->addWidget(formatLabel(this, QStringLiteral("lbCreate"), kCreateFormat), dateRow, 0, 1, 3);
    layout->addWidget(formatLabel(this, QStringLiteral("lbModi"), kModiFormat), dateRow + 1, 0, 1, 3);
    layout->setRowStretch(dateRow + 2, 1);
    // Esc closes it too (the dialog's own reject): a dialog that only closes when the focus leaves it is a trap
    // for keyboard users.
    auto* btClose = Named(new QPushButton(QStringLiteral("关闭"), this), QStringLiteral("btClose"));
    Describe(btClose, QStringLiteral("关闭"));
    btClose->setAutoDefault(false);
    layout->addWidget(btClose, dateRow + 3, 2, Qt::AlignRight);
    connect(btClose, &QPushButton::clicked, this, &QWidget::close);

    connect(btDocPath, &QPushButton::clicked, this, [this] { RunReported([this] { btDocPathClick(); }); });
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

void TinfoForm::showPath(const QString& path) {
    edDocName->setText(path);
}

void TinfoForm::setCount(const QString& label, int value) {
    if (auto* shown = findChild<QLabel*>(label)) {
        fillLabel(shown, QStringLiteral("%d"), QString::number(value));
    }
}

void TinfoForm::setDates(const QString& path) {
    const auto text = [&path](FileDateKind kind) {
        const std::optional<double> days = GetFileDate(path, kind);
        return days ? InfoDateText(*days) : QString();
    };
    fillLabel(findChild<QLabel*>(QStringLiteral("lbCreate")), QStringLiteral("%s"), text(FileDateKind::Created));
    fillLabel(findChild<QLabel*>(QStringLiteral("lbModi")), QStringLiteral("%s"), text(FileDateKind::Written));
}

void TinfoForm::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() != QEvent::ActivationChange) {
        return;
    }
    if (isActiveWindow()) {
        m_wasActive = true;
    } else if (m_wasActive) {
        // FormDeactivate: a look at the numbers, gone as soon as the user works elsewhere.
        close();
    }
}

void TinfoForm::btDocPathClick() {
    const QString path = edDocName->text();
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        return;
    }
    ShowInFileManager(path, [path] { ShowInfo(NoFileManagerText(path)); });
}

Information::Information(Workbench& bench, QWidget* toolbar) : QObject(toolbar), m_bench(bench) {
    setObjectName(QStringLiteral("information"));
    tbtInfo = MakeToolButton(toolbar, QStringLiteral("tbtInfo"), QString(), QStringLiteral("文档信息"));
    ConnectReported(tbtInfo, &QToolButton::clicked, this, [this] { tbtInfoClick(); });
}

QWidget* Information::toolButton() const {
    return tbtInfo;
}

void Information::tbtInfoClick() {
    const ActiveTab& tab = m_bench.activeTab();
    if (!tab.open || tab.workbook || !m_bench.hasWord()) {
        return;
    }
    auto* form = new TinfoForm(tbtInfo->window());
    try {
        LoadDocProperties(*form);
    } catch (...) {
        delete form;
        throw;
    }
    if (infoForm) {
        infoForm->close();
    }
    infoForm = form;
    form->show();
    form->activateWindow();
}

void Information::LoadDocProperties(TinfoForm& form) {
    const ActiveTab& tab = m_bench.activeTab();
    if (!tab.open || KindOfPath(tab.path) != TabKind::Document) {
        return;
    }
    const QString path = tab.path;
    TiWord& word = m_bench.word();
    // The office's active document may be another one (a document opened in the office itself, a tab whose
    // activation failed); the numbers must be those of the tab's document.
    ActivateTabDocument(word, path);
    form.showPath(path);
    form.setDates(path);
    for (const CountLabel& count : kCounts) {
        const int value = count.collection == kPages ? word.GetDocPages() : word.GetDocProp(count.collection);
        form.setCount(QString::fromLatin1(count.name), value);
    }
}

} // namespace velmora
