#pragma once

// The states of the local network forwarding, which decide which requests
// are honoured at a given moment: "stop" starts, "start" stops, beats and
// starts another panel, "pending" (a plain DeviceCtrlState) ignores
// everything while a start or stop is under way.

#include <QObject>
#include <QString>

class LocalNetForwardManager;

class DeviceCtrlState : public QObject {
public:
    DeviceCtrlState()
        : QObject(nullptr)
    {
    }

    virtual void start(const QString& deviceAccessIP, const QString& deviceLanIP);
    virtual void stop(bool emitSignal);
    virtual void beat();

protected:
    // pending, then start when the forwarding began, else stop.
    static void startForwarding(LocalNetForwardManager* manager, const QString& deviceAccessIP,
                                const QString& deviceLanIP);
};

class DeviceStartState : public DeviceCtrlState {
public:
    explicit DeviceStartState(LocalNetForwardManager* manager)
        : m_manager(manager)
    {
    }

    void start(const QString& deviceAccessIP, const QString& deviceLanIP) override;
    void stop(bool emitSignal) override;
    void beat() override;

private:
    LocalNetForwardManager* m_manager; // not owned
};

class DeviceStopState : public DeviceCtrlState {
public:
    explicit DeviceStopState(LocalNetForwardManager* manager)
        : m_manager(manager)
    {
    }

    void start(const QString& deviceAccessIP, const QString& deviceLanIP) override;

private:
    LocalNetForwardManager* m_manager; // not owned
};
