#include "dispatch.h"

namespace velmora {

Dispatch::~Dispatch() = default;

bool MemberIs(const QString& name, QLatin1String expected) {
    return name.compare(expected, Qt::CaseInsensitive) == 0;
}

} // namespace velmora
