#pragma once

#include "framelesswindow.h"

#include <QWidget>

class IpItemMode;
class IpList;
class QModelIndex;

namespace Ui {
class mainWindow;
}

// The program's window: a frameless, fixed-size window with its own title strip, the device
// table and a details panel for the clicked device. It shows the list and model it is given;
// both must outlive it.
class mainWindow : public QWidget
{
    Q_OBJECT
public:
    mainWindow(IpList &list, IpItemMode &model, QWidget *parent = nullptr);
    ~mainWindow() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    bool nativeEvent(const QByteArray &eventType, void *message, long *result) override;
    void changeEvent(QEvent *event) override;

private slots:
    void on_tvwIplist_clicked(const QModelIndex &index);
    void on_pbtWeb_clicked();
    void on_pbtNetSet_clicked();

private:
    Ui::mainWindow *ui;
    IpList &m_list;
    IpItemMode &m_model;
    FramelessWindow m_frameless{*this};
};
