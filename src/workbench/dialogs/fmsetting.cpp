#include "fmsetting.h"

#include "common/appfolder.h"
#include "common/prompts.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace velmora {

TfmSetting::TfmSetting(const QString& autoGoBack, const QString& autoSaveInterval, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("fmSetting"));
    setWindowTitle(QStringLiteral("Velmora - 设置"));
    setModal(true);

    ckGoBack = new QCheckBox(QStringLiteral("word文档打开时自动定位到最后关闭位置"), this);
    ckGoBack->setObjectName(QStringLiteral("ckGoBack"));
    ckGoBack->setChecked(autoGoBack == QLatin1String("1"));

    svEdit = new QLineEdit(QStringLiteral("5"), this);
    svEdit->setObjectName(QStringLiteral("svEdit"));
    svEdit->setMaxLength(3);
    svEdit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), svEdit));
    svEdit->setText(autoSaveInterval);
    svEdit->setFixedWidth(60);
    auto* intervalLabel = new QLabel(QStringLiteral("自动保存word文档间隔（分钟）"), this);
    intervalLabel->setBuddy(svEdit);

    btOK = new QPushButton(QStringLiteral("确定"), this);
    btOK->setObjectName(QStringLiteral("btOK"));
    btOK->setDefault(true);
    connect(btOK, &QPushButton::clicked, this, &TfmSetting::accept);
    btCancel = new QPushButton(QStringLiteral("取消"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* interval = new QHBoxLayout;
    interval->addWidget(intervalLabel);
    interval->addWidget(svEdit);
    interval->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btOK);
    buttons->addWidget(btCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ckGoBack);
    layout->addLayout(interval);
    auto* folder = new QLabel(QStringLiteral("资料库文件夹: %1").arg(AppDataFolder()), this);
    folder->setObjectName(QStringLiteral("dataFolderLabel"));
    folder->setAccessibleName(QStringLiteral("资料库文件夹"));
    folder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(folder);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    setFixedSize(sizeHint());
}

QString TfmSetting::autoGoBack() const {
    return ckGoBack->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}

QString TfmSetting::autoSaveInterval() const {
    return UsableAutoSaveInterval(svEdit->text());
}

void TfmSetting::accept() {
    if (UsableAutoSaveInterval(svEdit->text()).isEmpty()) {
        ShowInfo(QStringLiteral("“自动保存word文档间隔（分钟）”须为 0 到 999 的整数，0 表示不自动保存"));
        svEdit->setFocus(Qt::OtherFocusReason);
        svEdit->selectAll();
        return;
    }
    QDialog::accept();
}

QString UsableAutoSaveInterval(const QString& typed) {
    const QString trimmed = typed.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > 3) {
        return {};
    }
    for (const QChar c : trimmed) {
        if (c < u'0' || c > u'9') {
            return {};
        }
    }
    // "007" is kept as 7: the start-up reads the number, and a later reader of the file need not strip zeros.
    return QString::number(trimmed.toInt());
}

} // namespace velmora
