#include "tnfform.h"

#include "common/prompts.h"
#include "workbench/controls.h"

#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace velmora {

TnfForm::TnfForm(const QString& startFolder, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), m_startFolder(startFolder) {
    setObjectName(QStringLiteral("nfForm"));
    setWindowTitle(QStringLiteral("新建文件夹"));
    setModal(true);

    dirEditLabel = Named(new QLabel(QStringLiteral("新建文件夹到："), this), QStringLiteral("dirEditLabel"));
    dirEdit = Named(new QLineEdit(this), QStringLiteral("dirEdit"));
    dirEdit->setMinimumWidth(320);
    dirEditLabel->setBuddy(dirEdit);
    Describe(dirEdit, QStringLiteral("文件夹"));
    btBrowse = Named(new QPushButton(QStringLiteral("浏览..."), this), QStringLiteral("btBrowse"));
    Describe(btBrowse, btBrowse->text(), QStringLiteral("浏览选择文件夹"));
    edNewNameLabel = Named(new QLabel(QStringLiteral("新建文件夹名："), this), QStringLiteral("edNewNameLabel"));
    edNewName = Named(new QLineEdit(this), QStringLiteral("edNewName"));
    edNewNameLabel->setBuddy(edNewName);
    Describe(edNewName, QStringLiteral("文件夹名"));
    btnOK = Named(new QPushButton(QStringLiteral("确定"), this), QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    Describe(btnOK, btnOK->text());

    auto* grid = new QGridLayout;
    grid->addWidget(dirEditLabel, 0, 0, 1, 2);
    grid->addWidget(dirEdit, 1, 0);
    grid->addWidget(btBrowse, 1, 1);
    grid->addWidget(edNewNameLabel, 2, 0, 1, 2);
    grid->addWidget(edNewName, 3, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    setFixedSize(sizeHint());

    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btBrowse, &QPushButton::clicked, this, [this] { btBrowseClick(); });
    connect(dirEdit, &QLineEdit::textChanged, this, [this] { dirEditChange(); });
}

void TnfForm::btBrowseClick() {
    const QString chosen = PickFolder(QStringLiteral("浏览选择文件夹"), m_startFolder);
    dirEdit->setText(chosen.isEmpty() ? m_startFolder : chosen);
}

void TnfForm::dirEditChange() {
    // A relative name would be taken from wherever the program happened to start.
    const QString dir = dirEdit->text();
    btnOK->setEnabled(QDir::isAbsolutePath(dir) && QFileInfo(dir).isDir());
}

} // namespace velmora
