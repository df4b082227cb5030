#include "ipset.h"

IpSet::IpSet(SetIpRequest *request, QWidget *parent) : QDialog(parent), m_request(request)
{
    setAttribute(Qt::WA_DeleteOnClose);
}
