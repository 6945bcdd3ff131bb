// The link to the pedal: the device label, Scan, Link and Unlink, the choice
// between the USB port and the virtual pedal, the Info menu's entries about
// the pedal, and the status bar's link indicator that always says which
// pedal the editor talks to and how. A pedal that goes away is told here.
#pragma once

#include "port/Port.h"
#include "ui/controllers/FeatureController.h"

class QAction;
class QLabel;
class QStatusBar;
class QWidget;

namespace kestra {

class Backends;

class LinkController : public FeatureController {
    Q_OBJECT

public:
    // The label goes on client; the menu entries belong to menuOwner until
    // the main window puts them in its menus.
    LinkController(PedalSession& session, QWidget* client, QStatusBar* statusBar,
                   QObject* menuOwner, QObject* parent);

    // Connection menu.
    QAction* scanAction() const { return scan_; }
    QAction* linkAction() const { return link_; }
    QAction* unlinkAction() const { return unlink_; }
    QAction* useUsbPortAction() const { return useUsbPort_; }
    QAction* useVirtualPedalAction() const { return useVirtualPedal_; }
    // Info menu.
    QAction* firmwareVersionAction() const { return firmwareVersion_; }
    QAction* deviceSerialAction() const { return deviceSerial_; }
    QAction* connectionInfoAction() const { return connectionInfo_; }

    // The backends behind the connection's port, for Use Virtual Pedal and
    // Use USB Port; without them those entries do nothing.
    void setBackends(Backends* backends);
    // Lists the attached pedals; the label and the indicator name the last.
    void probeDevices();

    const PortDevice& device() const { return device_; }

    void addSituation(EditorSituation& situation) const override;
    void applyEnabledStates(const EnabledStates& enabled) override;

signals:
    // A link found an effect on the pedal and opened it.
    void linkedToStoredEffect();

private:
    void onScan();
    void onLink();
    void onUnlink();
    void onConnectionStateChanged();
    void onLinkLost(const QString& message);
    void onStoredEffectChanged();
    void onBackendPicked(bool virtualPedal);
    // The menu's check marks, the Info entry and the log say which backend
    // is in use.
    void showBackend();
    void setDeviceLabel(const QString& text);
    void refreshLinkIndicator();
    static QString displayName(const PortDevice& device);

    Connection& connection_;
    Backends* backends_ = nullptr;
    PortDevice device_;
    QString deviceLabel_;

    QLabel* deviceName_ = nullptr;
    QLabel* linkIndicator_ = nullptr;
    QAction* scan_ = nullptr;
    QAction* link_ = nullptr;
    QAction* unlink_ = nullptr;
    QAction* useUsbPort_ = nullptr;
    QAction* useVirtualPedal_ = nullptr;
    QAction* firmwareVersion_ = nullptr;
    QAction* deviceSerial_ = nullptr;
    QAction* connectionInfo_ = nullptr;
};

} // namespace kestra
