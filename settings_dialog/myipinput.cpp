#include "myipinput.h"

#include "ipv4text.h"
#include "ui_MyIpInput.h"

#include <QIntValidator>

namespace {

// A plain QIntValidator(0, 255) lets "256" to "999" (and "1,0" in some locales) stay in a
// field as intermediate input, and "+1" as acceptable; the address would then go to the
// device as it stands. This one refuses everything but one to three digits up to 255.
class OctetValidator : public QIntValidator
{
public:
    explicit OctetValidator(QObject *parent) : QIntValidator(0, 255, parent) {}

    State validate(QString &input, int &) const override
    {
        switch (checkOctetInput(input)) {
        case OctetInput::Empty:
            return Intermediate;
        case OctetInput::Valid:
            return Acceptable;
        case OctetInput::Refused:
            break;
        }
        return Invalid;
    }
};

} // namespace

MyIpInput::MyIpInput(QWidget *parent) : QWidget(parent), ui(new Ui::MyIpInput)
{
    ui->setupUi(this);
    auto *validator = new OctetValidator(this); // shared by the four fields
    ui->leIp1->setValidator(validator);
    ui->leIp2->setValidator(validator);
    ui->leIp3->setValidator(validator);
    ui->leIp4->setValidator(validator);
    setInputEnabled(true);
}

MyIpInput::~MyIpInput()
{
    delete ui;
}

void MyIpInput::setIpText(const QString &text)
{
    const Ipv4Octets octets = octetsFromText(text);
    ui->leIp1->setText(QString::number(octets[0]));
    ui->leIp2->setText(QString::number(octets[1]));
    ui->leIp3->setText(QString::number(octets[2]));
    ui->leIp4->setText(QString::number(octets[3]));
}

QString MyIpInput::ipText() const
{
    return joinOctetFields({ui->leIp1->text(), ui->leIp2->text(), ui->leIp3->text(), ui->leIp4->text()});
}

bool MyIpInput::isComplete() const
{
    return !ui->leIp1->text().isEmpty() && !ui->leIp2->text().isEmpty() && !ui->leIp3->text().isEmpty() &&
           !ui->leIp4->text().isEmpty();
}

void MyIpInput::setInputEnabled(bool enabled)
{
    setEnabled(enabled);
    setStyleSheet(
        enabled ? QStringLiteral("* {background-color: rgb(255, 255, 255);}QLineEdit {border: 0px outset;}")
                : QStringLiteral("* {background-color: rgb(188, 188, 188);}QLineEdit {border: 0px outset;}"));
}
