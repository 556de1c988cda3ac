#pragma once

#include "workbench/toolbaractivity.h"

namespace velmora {

class Workbench;

// Tells, in the toolbar, that the office is being started in the background.
class OfficeStartIndicator final : public ToolbarActivity {
    Q_OBJECT

public:
    OfficeStartIndicator(Workbench& bench, QWidget* parent);
};

} // namespace velmora
