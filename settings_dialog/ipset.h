#pragma once

// Placeholder until the network settings dialog lands: the interface the main window uses.
#include "devicerecord.h"

#include <QDialog>

class IpSet : public QDialog
{
    Q_OBJECT
public:
    // request must outlive the dialog; the dialog writes the chosen settings into it
    // just before it is accepted.
    explicit IpSet(SetIpRequest *request, QWidget *parent = nullptr);

private:
    SetIpRequest *m_request;
};
