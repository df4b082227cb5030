#pragma once

#include "devicerecord.h"
#include "myipinput.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QStringList>
#include <QTest>
#include <QWidget>

// Shared by the dialog and flow tests.

// Settings fields of a request, '|'-separated: ipways|ipaddr|mask|gateway|dns1|dns2.
inline QString settings(const SetIpRequest &r)
{
    return QStringList{r.ipways, r.ipaddr, r.mask, r.gateway, r.dns1, r.dns2}.join(QLatin1Char('|'));
}

inline SetIpRequest device(const QString &settingsText)
{
    const QStringList f = settingsText.split(QLatin1Char('|'));
    SetIpRequest r;
    r.version = QStringLiteral("V2.1.7");
    r.mac = QStringLiteral("00:1A:2B:3C:4D:5E");
    r.extra = QStringLiteral("extra");
    r.cnt = 77;
    r.ipways = f.value(0);
    r.ipaddr = f.value(1);
    r.mask = f.value(2);
    r.gateway = f.value(3);
    r.dns1 = f.value(4);
    r.dns2 = f.value(5);
    return r;
}

inline const QString staticDevice =
    QStringLiteral("static|192.168.1.10|255.255.255.0|192.168.1.1|8.8.8.8|8.8.4.4");

template <typename T> T *child(const QWidget *w, const char *name)
{
    T *c = w->findChild<T *>(QLatin1String(name));
    Q_ASSERT(c);
    return c;
}

// The five editors, top to bottom: IP address, mask, gateway, preferred DNS, alternate DNS.
inline QList<MyIpInput *> editors(const QWidget *dialog)
{
    return child<QGroupBox>(dialog, "gboxStaticIPSet")
        ->findChildren<MyIpInput *>(QString(), Qt::FindDirectChildrenOnly);
}

inline QLineEdit *octetField(MyIpInput *editor, int n)
{
    return editor->findChild<QLineEdit *>(QStringLiteral("leIp%1").arg(n));
}

// What the user does in the dialog before confirming or leaving it.
enum class Edit
{
    None,
    ToDhcp,
    ToStatic,
    ToDhcpAndBack,
    TypeIntoIp,
    TypeThenDhcpAndBack,
    EmptyGatewayOctet,
    EmptyDnsOctet,
};

inline void applyEdit(QWidget *dialog, Edit edit)
{
    auto *autoIp = child<QRadioButton>(dialog, "rbtnAutoIp");
    auto *staticIp = child<QRadioButton>(dialog, "rbtnStaticIp");
    const QList<MyIpInput *> e = editors(dialog);
    auto typeIntoIp = [&] {
        QLineEdit *last = octetField(e[0], 4);
        last->clear();
        QTest::keyClicks(last, QStringLiteral("7"));
    };
    switch (edit) {
    case Edit::None:
        break;
    case Edit::ToDhcp:
        autoIp->click();
        break;
    case Edit::ToStatic:
        staticIp->click();
        break;
    case Edit::ToDhcpAndBack:
        autoIp->click();
        staticIp->click();
        break;
    case Edit::TypeIntoIp:
        typeIntoIp();
        break;
    case Edit::TypeThenDhcpAndBack:
        typeIntoIp();
        autoIp->click();
        staticIp->click();
        break;
    case Edit::EmptyGatewayOctet:
        octetField(e[2], 3)->clear();
        break;
    case Edit::EmptyDnsOctet:
        octetField(e[4], 1)->clear();
        break;
    }
}

Q_DECLARE_METATYPE(Edit)
