#include "officestart.h"

#include "controls.h"
#include "workbench.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>

namespace velmora {

namespace {

const QString kStarting = QStringLiteral("正在启动 LibreOffice…");

} // namespace

OfficeStartIndicator::OfficeStartIndicator(Workbench& bench, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("officeStart"));
    Describe(this, kStarting);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 0, 4, 0);
    layout->setSpacing(6);
    m_caption = Named(new QLabel(kStarting, this), QStringLiteral("lbOfficeStart"));
    Describe(m_caption, kStarting);
    // A bar without a range runs on its own: the window shows it is alive while the office comes up.
    m_bar = Named(new QProgressBar(this), QStringLiteral("pbOfficeStart"));
    m_bar->setRange(0, 0);
    m_bar->setTextVisible(false);
    m_bar->setFixedSize(80, 12);
    Describe(m_bar, kStarting);
    layout->addWidget(m_caption);
    layout->addWidget(m_bar);
    connect(&bench, &Workbench::wordStartingChanged, this, &OfficeStartIndicator::follow);
    follow(bench.wordStarting());
}

void OfficeStartIndicator::follow(bool starting) {
    // The parts come and go, not the indicator itself: a toolbar shows and hides its items through their actions.
    m_caption->setVisible(starting);
    m_bar->setVisible(starting);
}

} // namespace velmora
