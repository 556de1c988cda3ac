#pragma once

#include "office/automation/olevariant.h"

namespace velmora {

// The late-bound interface every automation object implements: members are addressed by name only, and a
// server matches names without regard to case (use MemberIs). An empty name addresses the object's default
// member, which is what converting an object to a plain value reads (a cell's or a property's Value).
//
// As with any late-bound client, a read with arguments and a method call are the same request to most
// servers (`Documents.Item(1)`, `Cells(2, 3)`): a server should answer a getProperty of a method and a
// callMethod of a property alike. Arguments arrive in the order the caller wrote them; left-out optional
// arguments arrive as OleVariant::missing(). Every failure is raised as AutomationError.
class Dispatch {
public:
    virtual ~Dispatch();

    virtual OleVariant getProperty(const QString& name, const OleArgs& index) = 0;
    virtual void putProperty(const QString& name, const OleArgs& index, const OleVariant& value) = 0;
    virtual OleVariant callMethod(const QString& name, const OleArgs& args, const OleNamedArgs& named) = 0;
};

// Whether a member name sent by a client names the member `expected`, letter case ignored.
bool MemberIs(const QString& name, QLatin1String expected);

} // namespace velmora
