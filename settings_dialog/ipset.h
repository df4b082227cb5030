#pragma once

#include "devicerecord.h"
#include "framelesswindow.h"

#include <QDialog>

class MyIpInput;

namespace Ui {
class IpSet;
}

// The network settings dialog: automatic addressing (DHCP) or a static address with mask,
// gateway and two DNS servers for one device. Frameless; dragged by the left mouse button.
class IpSet : public QDialog
{
    Q_OBJECT
public:
    // request must outlive the dialog. The dialog shows the settings it holds and writes the
    // chosen settings into it just before it is accepted; it never writes it otherwise.
    explicit IpSet(SetIpRequest *request, QWidget *parent = nullptr);
    ~IpSet() override;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    bool nativeEvent(const QByteArray &eventType, void *message, long *result) override;
    void changeEvent(QEvent *event) override;

private slots:
    void on_rbtnAutoIp_clicked();
    void on_rbtnStaticIp_clicked();
    void on_pbtnSet_clicked();

private:
    Ui::IpSet *ui;
    SetIpRequest *m_request; // borrowed
    MyIpInput *m_ipInput = nullptr;
    MyIpInput *m_maskInput = nullptr;
    MyIpInput *m_gatewayInput = nullptr;
    MyIpInput *m_dns1Input = nullptr;
    MyIpInput *m_dns2Input = nullptr;
    FramelessWindow m_frameless{*this};
};
