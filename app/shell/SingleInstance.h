// One running application per session: the first process owns the D-Bus name io.clipwell.Clipwell and
// serves org.freedesktop.Application at /io/clipwell/Clipwell (the desktop's way of starting an
// application and handing it files); a later `clipwell FILE...` hands its files to that process and
// ends. Where there is no session bus (or its name cannot be had), every process runs on its own.
//
// Main thread, after the QApplication exists. The handlers are called on the main thread.
#pragma once

#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <functional>

class SingleInstance : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")
public:
    static constexpr const char* kServiceName = "io.clipwell.Clipwell";
    static constexpr const char* kObjectPath = "/io/clipwell/Clipwell";

    using OpenHandler = std::function<void(const QStringList& paths)>;
    using ActivateHandler = std::function<void()>;
    SingleInstance(OpenHandler open, ActivateHandler activate, QObject* parent = nullptr);

    // Takes the name and serves the interface: true when this process is now the one instance.
    bool registerService();
    // Hands the files (none: just activates) to the running instance; true when it took them.
    static bool handOver(const QStringList& paths);

public slots:
    Q_SCRIPTABLE void Activate(const QVariantMap& platformData);
    Q_SCRIPTABLE void Open(const QStringList& uris, const QVariantMap& platformData);
    Q_SCRIPTABLE void ActivateAction(const QString& actionName, const QVariantList& parameter, const QVariantMap& platformData);

private:
    OpenHandler open_;
    ActivateHandler activate_;
};
