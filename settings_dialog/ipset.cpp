#include "ipset.h"

#include "myipinput.h"
#include "ui_IpSet.h"

#include <QDebug>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// What the button-text overload of QMessageBox::warning does (deprecated since Qt 5.15):
// one button, the default one, and no escape button of its own.
void warn(QWidget *parent, const QString &title, const QString &text)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::NoButton, parent);
    QPushButton *ok = box.addButton(QStringLiteral("ok"), QMessageBox::ActionRole);
    box.setDefaultButton(ok);
    box.exec();
}

void addEditorRow(QVBoxLayout *rows, const QString &text, MyIpInput *editor)
{
    auto *label = new QLabel(text);
    label->setMinimumWidth(125);
    label->setWordWrap(true);
    auto *row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(editor);
    rows->addLayout(row);
}

} // namespace

IpSet::IpSet(SetIpRequest *request, QWidget *parent) : QDialog(parent), ui(new Ui::IpSet), m_request(request)
{
    Q_ASSERT(request);
    ui->setupUi(this);
    m_frameless.makeFrameless();
    setAttribute(Qt::WA_DeleteOnClose);

    m_ipInput = new MyIpInput;
    m_maskInput = new MyIpInput;
    m_gatewayInput = new MyIpInput;
    m_dns1Input = new MyIpInput;
    m_dns2Input = new MyIpInput;

    // The row labels are translated once, here; a later language change leaves them.
    auto *rows = new QVBoxLayout(ui->gboxStaticIPSet);
    addEditorRow(rows, tr("ip地址:"), m_ipInput);
    addEditorRow(rows, tr("子网掩码:"), m_maskInput);
    addEditorRow(rows, tr("默认网关:"), m_gatewayInput);
    rows->addStretch();
    addEditorRow(rows, tr("首选DNS:"), m_dns1Input);
    addEditorRow(rows, tr("备选DNS:"), m_dns2Input);
    rows->addStretch();

    if (m_request->ipways == QLatin1String("dhcp")) {
        ui->rbtnAutoIp->setChecked(true);
        on_rbtnAutoIp_clicked();
    } else {
        ui->rbtnStaticIp->setChecked(true);
        on_rbtnStaticIp_clicked();
    }

    connect(ui->btnClose, &QPushButton::clicked, this, [this] { close(); });
}

IpSet::~IpSet()
{
    delete ui;
}

void IpSet::on_rbtnAutoIp_clicked()
{
    ui->gboxStaticIPSet->setEnabled(false);
    for (MyIpInput *editor : {m_ipInput, m_maskInput, m_gatewayInput, m_dns1Input, m_dns2Input})
        editor->setInputEnabled(false);
    for (MyIpInput *editor : {m_ipInput, m_maskInput, m_gatewayInput, m_dns1Input, m_dns2Input})
        editor->setIpText(QString());
}

void IpSet::on_rbtnStaticIp_clicked()
{
    ui->gboxStaticIPSet->setEnabled(true);
    for (MyIpInput *editor : {m_ipInput, m_maskInput, m_gatewayInput, m_dns1Input, m_dns2Input})
        editor->setInputEnabled(true);
    // Always the settings the dialog was opened with: the request is written only on confirm.
    m_ipInput->setIpText(m_request->ipaddr);
    m_maskInput->setIpText(m_request->mask);
    m_gatewayInput->setIpText(m_request->gateway);
    m_dns1Input->setIpText(m_request->dns1);
    m_dns2Input->setIpText(m_request->dns2);
}

void IpSet::on_pbtnSet_clicked()
{
    qDebug() << "on_buttonBox_accepted";
    if (ui->rbtnStaticIp->isChecked()) {
        // Gateway and DNS may stay incomplete; they then go out as empty text.
        if (!m_ipInput->isComplete() || !m_maskInput->isComplete()) {
            warn(this, tr("警告"), tr("Ip格式错误!"));
            return;
        }
        m_request->ipways = QStringLiteral("static");
        m_request->ipaddr = m_ipInput->ipText();
        m_request->mask = m_maskInput->ipText();
        m_request->gateway = m_gatewayInput->ipText();
        m_request->dns1 = m_dns1Input->ipText();
        m_request->dns2 = m_dns2Input->ipText();
    } else {
        const QString empty(QLatin1String("")); // empty, not null: compared as text later
        m_request->ipways = QStringLiteral("dhcp");
        m_request->ipaddr = empty;
        m_request->mask = empty;
        m_request->gateway = empty;
        m_request->dns1 = empty;
        m_request->dns2 = empty;
    }
    accept();
}

void IpSet::mousePressEvent(QMouseEvent *event)
{
    m_frameless.mousePress(*event);
}

void IpSet::mouseMoveEvent(QMouseEvent *event)
{
    m_frameless.mouseMove(*event);
}

bool IpSet::nativeEvent(const QByteArray &eventType, void *message, long *result)
{
    Q_UNUSED(eventType);
    return m_frameless.nativeEvent(message, result);
}

void IpSet::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    retranslateOnLanguageChange(*event, *ui, this);
}
