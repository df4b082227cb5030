#pragma once

#include <QWidget>

namespace Ui {
class MyIpInput;
}

// Edits one IPv4 address as four decimal fields separated by fixed dots.
class MyIpInput : public QWidget
{
    Q_OBJECT
public:
    explicit MyIpInput(QWidget *parent = nullptr);
    ~MyIpInput() override;

    // Shows a dotted address; text it cannot use shows as zeros (see octetsFromText).
    void setIpText(const QString &text);
    // The dotted address, or empty text while any field is empty.
    QString ipText() const;
    // All four fields hold something; their range is the validator's business.
    bool isComplete() const;
    // Enables or disables the editor and gives it the matching look (white or grey).
    void setInputEnabled(bool enabled);

private:
    Ui::MyIpInput *ui;
};
