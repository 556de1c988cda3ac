#include "impform.h"

#include "common/appfolder.h"
#include "common/prompts.h"
#include "workbench/application.h"
#include "workbench/controls.h"
#include "workbench/core/settingslist.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace velmora {

namespace {

const QString kCaption = QStringLiteral("导入Word文档");
const QString kWordFilter = QStringLiteral("word文档|*.doc;*.docx;|");
// The pale blue of the dialog's group boxes (a BGR colour value 16643309): the tag box reads as a hint until used.
const QColor kPlaceholderBackground(0xED, 0xF5, 0xFD);

QString WithDelimiter(const QString& folder) {
    return folder.endsWith(QDir::separator()) ? folder : folder + QDir::separator();
}

template <typename T>
T* Control(T* widget, const QString& name, const QString& accessibleName) {
    Named(widget, name);
    Describe(widget, accessibleName);
    return widget;
}

} // namespace

TimpForm::TimpForm(SettingsList& settings, const QStringList& files, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_settings(settings) {
    setObjectName(QStringLiteral("impForm"));
    setWindowTitle(kCaption);
    Describe(this, kCaption);
    setModal(true);
    resize(684, 500);

    auto labelled = [this](QLineEdit* edit, const QString& caption) {
        auto* label = Named(new QLabel(caption, this), edit->objectName() + QStringLiteral("Label"));
        label->setBuddy(edit);
        return label;
    };
    auto button = [this](const QString& name, const QString& caption) {
        return Control(new QPushButton(caption, this), name, caption);
    };

    fnEdit = Control(new QLineEdit(this), QStringLiteral("fnEdit"), QStringLiteral("文件"));
    btFileBrowse = button(QStringLiteral("btFileBrowse"), QStringLiteral("浏览..."));
    btFileBrowse->setAccessibleName(QStringLiteral("浏览文件"));
    dirEdit = Control(new QLineEdit(this), QStringLiteral("dirEdit"), QStringLiteral("文件夹"));
    btBrowse = button(QStringLiteral("btBrowse"), QStringLiteral("浏览..."));
    btBrowse->setAccessibleName(QStringLiteral("浏览文件夹"));
    btListFiles = button(QStringLiteral("btListFiles"), QStringLiteral("列出文件"));
    ckFolder = Control(new QCheckBox(QStringLiteral("包含子文件夹"), this), QStringLiteral("ckFolder"),
                       QStringLiteral("包含子文件夹"));
    ckFolder->setChecked(true);
    Label1 = Control(new QLabel(QStringLiteral("（按shift或Ctrl键可以选择多项）"), this), QStringLiteral("Label1"),
                     QStringLiteral("按shift或Ctrl键可以选择多项"));
    ListBox = Control(new QListWidget(this), QStringLiteral("ListBox"), QStringLiteral("要导入的文件"));
    ListBox->setSelectionMode(QAbstractItemView::ExtendedSelection);
    btDelete = button(QStringLiteral("btDelete"), QStringLiteral("移除选中项"));
    btRemoveNoSelItem = button(QStringLiteral("btRemoveNoSelItem"), QStringLiteral("移除未选项"));

    ledPSW = Control(new QLineEdit(this), QStringLiteral("ledPSW"), QStringLiteral("word文档密码"));
    MaskWithStars(ledPSW);
    btPSView = Control(new QToolButton(this), QStringLiteral("btPSView"), QStringLiteral("显示密码"));
    btPSView->setText(QStringLiteral("显示"));
    btPSView->setToolTip(QStringLiteral("显示密码"));
    auto* pswGroup =
        Control(new QGroupBox(QStringLiteral("密码范围"), this), QStringLiteral("gbPSW"), QStringLiteral("密码范围"));
    rPSSelItems = Control(new QRadioButton(QStringLiteral("选中项"), pswGroup), QStringLiteral("rPSSelItems"),
                          QStringLiteral("密码给选中项"));
    rPSAllItems = Control(new QRadioButton(QStringLiteral("所有项"), pswGroup), QStringLiteral("rPSAllItems"),
                          QStringLiteral("密码给所有项"));
    rPSAllItems->setChecked(true);
    auto* tagGroup =
        Control(new QGroupBox(QStringLiteral("标签范围"), this), QStringLiteral("gbTags"), QStringLiteral("标签范围"));
    rSelItems = Control(new QRadioButton(QStringLiteral("选中项"), tagGroup), QStringLiteral("rSelItems"),
                        QStringLiteral("标签给选中项"));
    rAllItems = Control(new QRadioButton(QStringLiteral("所有项"), tagGroup), QStringLiteral("rAllItems"),
                        QStringLiteral("标签给所有项"));
    rAllItems->setChecked(true);
    tagsLblEdit = Control(new QLineEdit(this), QStringLiteral("tagsLblEdit"), QStringLiteral("标签"));

    ckIndex = Control(new QCheckBox(this), QStringLiteral("ckIndex"), QStringLiteral("导入时索引文档"));
    ckIndex->setChecked(true);
    Label2 = Control(new QLabel(QStringLiteral("导入时索引文档（稍有点慢，如一次导入数量不太多，强烈推荐勾选）"), this),
                     QStringLiteral("Label2"), QStringLiteral("导入时索引文档"));
    Label2->setBuddy(ckIndex);
    btnCancel = button(QStringLiteral("btnCancel"), QStringLiteral("取消"));
    btnOK = button(QStringLiteral("btnOK"), QStringLiteral("确定"));
    btnOK->setDefault(true);

    auto* grid = new QGridLayout;
    grid->addWidget(labelled(fnEdit, QStringLiteral("文件：")), 0, 0);
    grid->addWidget(fnEdit, 0, 1);
    grid->addWidget(btFileBrowse, 0, 2);
    grid->addWidget(labelled(dirEdit, QStringLiteral("文件夹：")), 1, 0);
    grid->addWidget(dirEdit, 1, 1);
    grid->addWidget(btBrowse, 1, 2);
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(btListFiles);
    listRow->addWidget(ckFolder);
    listRow->addStretch(1);
    listRow->addWidget(Label1);
    auto* listButtons = new QHBoxLayout;
    listButtons->addStretch(1);
    listButtons->addWidget(btDelete);
    listButtons->addWidget(btRemoveNoSelItem);

    auto* pswRow = new QHBoxLayout;
    pswRow->addWidget(labelled(ledPSW, QStringLiteral("word文档密码")));
    pswRow->addWidget(ledPSW, 1);
    pswRow->addWidget(btPSView);
    auto* pswScope = new QHBoxLayout(pswGroup);
    pswScope->addWidget(rPSSelItems);
    pswScope->addWidget(rPSAllItems);
    auto* tagScope = new QHBoxLayout(tagGroup);
    tagScope->addWidget(rSelItems);
    tagScope->addWidget(rAllItems);
    auto* scopes = new QHBoxLayout;
    scopes->addLayout(pswRow, 1);
    scopes->addWidget(pswGroup);
    scopes->addWidget(tagGroup);
    auto* tagRow = new QHBoxLayout;
    tagRow->addWidget(labelled(tagsLblEdit, QStringLiteral("标签：")));
    tagRow->addWidget(tagsLblEdit, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(ckIndex);
    bottom->addWidget(Label2, 1);
    bottom->addWidget(btnOK);
    bottom->addWidget(btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(listRow);
    layout->addWidget(ListBox, 1);
    layout->addLayout(listButtons);
    layout->addLayout(scopes);
    layout->addLayout(tagRow);
    layout->addLayout(bottom);

    ConnectReported(btFileBrowse, &QPushButton::clicked, this, [this] { btFileBrowseClick(); });
    ConnectReported(btBrowse, &QPushButton::clicked, this, [this] { btBrowseClick(); });
    ConnectReported(btListFiles, &QPushButton::clicked, this, [this] { btListFilesClick(); });
    connect(btDelete, &QPushButton::clicked, this, [this] { btDeleteClick(); });
    connect(btRemoveNoSelItem, &QPushButton::clicked, this, [this] { btRemoveNoSelItemClick(); });
    connect(btPSView, &QToolButton::pressed, this, [this] { ledPSW->setEchoMode(QLineEdit::Normal); });
    connect(btPSView, &QToolButton::released, this, [this] { ledPSW->setEchoMode(QLineEdit::Password); });
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    // The tag box starts as a pale hint that any change of its text turns into a normal box.
    QPalette hint = tagsLblEdit->palette();
    hint.setColor(QPalette::Base, kPlaceholderBackground);
    tagsLblEdit->setPalette(hint);
    tagsLblEdit->setText(kTagPlaceholder);
    tagsLblEdit->setModified(false);
    connect(tagsLblEdit, &QLineEdit::textChanged, this, [this] { tagsLblEdit->setPalette(QPalette()); });
    tagsLblEdit->installEventFilter(this);
    Label1->installEventFilter(this);
    Label2->installEventFilter(this);

    setList(files);
}

bool TimpForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == tagsLblEdit && event->type() == QEvent::FocusIn) {
        tagsLblEditEnter();
    } else if (watched == Label2 && event->type() == QEvent::MouseButtonRelease) {
        ckIndex->toggle();
    } else if (watched == Label1 && event->type() == QEvent::MouseButtonRelease &&
               static_cast<QMouseEvent*>(event)->modifiers().testFlag(Qt::ControlModifier)) {
        Q_EMIT closeAreaToggleWanted();
    }
    return QDialog::eventFilter(watched, event);
}

void TimpForm::tagsLblEditEnter() {
    if (tagsLblEdit->text().compare(kTagPlaceholder, Qt::CaseInsensitive) == 0) {
        tagsLblEdit->clear();
        tagsLblEdit->setModified(false);
    }
}

void TimpForm::setList(const QStringList& files) {
    ListBox->clear();
    ListBox->addItems(files);
}

QStringList TimpForm::listedFiles() const {
    QStringList files;
    for (int i = 0; i < ListBox->count(); ++i) {
        files.append(ListBox->item(i)->text());
    }
    return files;
}

ImportOptions TimpForm::options() {
    ImportOptions options;
    for (int i = 0; i < ListBox->count(); ++i) {
        const QListWidgetItem* line = ListBox->item(i);
        options.items.append({line->text(), line->isSelected()});
    }
    options.password = ledPSW->text();
    options.passwordAllItems = rPSAllItems->isChecked();
    options.tagsModified = tagsLblEdit->isModified();
    if (options.tagsModified && tagsLblEdit->text().contains(kTagPlaceholder)) {
        QString rest = tagsLblEdit->text();
        rest.remove(rest.indexOf(kTagPlaceholder), kTagPlaceholder.size());
        tagsLblEdit->setText(rest);
        tagsLblEdit->setModified(true);
    }
    options.tags = tagsLblEdit->text();
    options.tagsAllItems = rAllItems->isChecked();
    options.index = ckIndex->isChecked();
    return options;
}

void TimpForm::btFileBrowseClick() {
    const QString start = PickerStartFolder({m_settings.value(SettingKey::ImportDir)});
    const QString picked = PickFiles(false, windowTitle(), start, kWordFilter);
    setList(picked.isEmpty() ? QStringList() : picked.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts));
    if (ListBox->count() == 0 || !QFileInfo(ListBox->item(0)->text()).isFile()) {
        return;
    }
    const QString first = ListBox->item(0)->text();
    fnEdit->setText(first);
    const QString folder = WithDelimiter(QFileInfo(first).absolutePath());
    if (folder.compare(start, Qt::CaseInsensitive) != 0) {
        m_settings.set(SettingKey::ImportDir, folder);
        m_settings.save();
    }
}

void TimpForm::btBrowseClick() {
    const QString folder =
        PickFolder(QStringLiteral("浏览选择文件夹"), PickerStartFolder({m_settings.value(SettingKey::ImportDir)}));
    if (folder.isEmpty()) {
        return;
    }
    dirEdit->setText(folder);
    m_settings.set(SettingKey::ImportDir, folder);
    m_settings.save();
}

void TimpForm::btListFilesClick() {
    const QString folder = WithDelimiter(dirEdit->text());
    if (dirEdit->text().isEmpty()) {
        return;
    }
    // The list shown is that of another folder, or none: the user must not take it for this one's.
    if (!QFileInfo(folder).isDir()) {
        ShowInfo(QStringLiteral("文件夹 %1 不存在").arg(QDir::toNativeSeparators(dirEdit->text())));
        return;
    }
    setList(ListImportFiles(folder, ckFolder->isChecked()));
}

void TimpForm::btDeleteClick() {
    qDeleteAll(ListBox->selectedItems());
}

void TimpForm::btRemoveNoSelItemClick() {
    for (int i = ListBox->count() - 1; i >= 0; --i) {
        if (!ListBox->item(i)->isSelected()) {
            delete ListBox->item(i);
        }
    }
}

} // namespace velmora
