#pragma once

#include "officedouble.h"

namespace velmora::test {

// One object of a server double. Each read that yields an object makes a fresh one that remembers the path it
// was reached by, so that every logged line names its member from the application object on.
class DoubleObject : public Dispatch {
public:
    DoubleObject(std::shared_ptr<ServerDouble> server, QString path);

    OleVariant getProperty(const QString& name, const OleArgs& index) final;
    void putProperty(const QString& name, const OleArgs& index, const OleVariant& value) final;
    OleVariant callMethod(const QString& name, const OleArgs& args, const OleNamedArgs& named) final;

    const QString& path() const { return m_path; }

protected:
    // A read with arguments and a call are the same request, as for any late-bound server; `call` tells a bare
    // read from a call without arguments. `key` is the member name in lower case.
    virtual OleVariant invoke(const QString& key, const QString& name, const OleArgs& args, const OleNamedArgs& named,
                              bool call);
    virtual void assign(const QString& key, const QString& name, const OleArgs& index, const OleVariant& value);

    // The path of a member of this object.
    QString child(const QString& name, const OleArgs& args = {}) const;
    template <typename T, typename... Args>
    OleVariant make(Args&&... args) {
        return OleVariant(std::shared_ptr<Dispatch>(std::make_shared<T>(m_server, std::forward<Args>(args)...)));
    }

    std::shared_ptr<ServerDouble> m_server;
    QString m_path;
};

// An object that only holds properties: what is written is read back, what was never written reads as empty.
// Reads of a declared child key yield that child object.
class BagObject : public DoubleObject {
public:
    BagObject(std::shared_ptr<ServerDouble> server, QString path, QString key);

protected:
    OleVariant invoke(const QString& key, const QString& name, const OleArgs& args, const OleNamedArgs& named,
                      bool call) override;
    void assign(const QString& key, const QString& name, const OleArgs& index, const OleVariant& value) override;

    QString m_key;
};

[[noreturn]] void RaiseUnknown(const QString& name);
[[noreturn]] void RaiseBadArgs(const QString& why);
[[noreturn]] void RaiseFailed(const QString& why);
// The argument at index, or by name, or missing.
OleVariant Arg(const OleArgs& args, const OleNamedArgs& named, int index, const QString& name);
QString PathFileName(const QString& path);

} // namespace velmora::test
