#include "mainwindow.h"

#include "ui_mainWindow.h"

#include "devicerecord.h"
#include "ipitemmode.h"
#include "iplist.h"
#include "ipv4.h"
#include "language.h"
#include "netsettings.h"

#include <QDebug>
#include <QDesktopServices>
#include <QHeaderView>
#include <QMouseEvent>
#include <QUrl>

namespace {

const char *const tableStyleSheet = "QTableCornerButton::section{background-color:#FFFFFF;}"
                                    "QHeaderView::section{background-color:#EEF7FE;border:0px solid #EEF7FE;}"
                                    "QTableView{background-color:#FFFFFF;alternate-background-color:#EEF7FE;"
                                    "gridline-color:#DADADA;border:1px solid #F4F5F6;border-radius:5px;}";

// The details panel text. The labels follow the stored language id, not the catalogue in use;
// they exist only for English and Russian, so any other id (what every fresh installation has:
// no settings file, or one without an id) takes the labels of the language the window shows.
QString detailsText(const DeviceRecord &rec, int langId)
{
    if (langId != Language::English && langId != Language::Russian)
        langId = shownLanguageId();
    QString labels[6];
    switch (langId) {
    case Language::English:
        labels[0] = QStringLiteral("version: ");
        labels[1] = QStringLiteral("ipways: ");
        labels[2] = QStringLiteral("ipaddr: ");
        labels[3] = QStringLiteral("mask: ");
        labels[4] = QStringLiteral("gateway: ");
        labels[5] = QStringLiteral("mac: ");
        break;
    case Language::Russian:
        labels[0] = QStringLiteral("Версия ПО: ");
        labels[1] = QStringLiteral("Тип IP адреса: ");
        labels[2] = QStringLiteral("IP адрес: ");
        labels[3] = QStringLiteral("Маска подсети: ");
        labels[4] = QStringLiteral("Шлюз: ");
        labels[5] = QStringLiteral("MAC: ");
        break;
    }
    const QChar nl = QLatin1Char('\n');
    return labels[0] + rec.version + nl + labels[1] + rec.ipways + nl + labels[2] + rec.ipaddr + nl +
           labels[3] + rec.mask + nl + labels[4] + rec.gateway + nl + labels[5] + rec.mac;
}

} // namespace

mainWindow::mainWindow(IpList &list, IpItemMode &model, QWidget *parent)
    : QWidget(parent), ui(new Ui::mainWindow), m_list(list), m_model(model)
{
    ui->setupUi(this);

    m_frameless.makeFrameless();

    QTableView *view = ui->tvwIplist;
    // When the current device leaves the list, the view would make a neighbour current, and the
    // buttons would then act on a device the user never chose: no row is current afterwards, as
    // after a reset. Connected before the view takes the model, so that this runs first.
    connect(&m_model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [view](const QModelIndex &, int first, int last) {
                const int current = view->currentIndex().row();
                if (current >= first && current <= last)
                    view->selectionModel()->clear();
            });
    view->setModel(&m_model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setFocusPolicy(Qt::NoFocus);
    view->setAlternatingRowColors(true);
    view->verticalHeader()->setHidden(true);
    view->horizontalHeader()->setStretchLastSection(true);
    view->setShowGrid(false);
    // Sorting stays off: row i of the view must be entry i of the device list.
    for (int column = 0; column < 3; ++column)
        view->setColumnWidth(column, 150);
    view->setStyleSheet(QLatin1String(tableStyleSheet));

    ui->lblLangCh->installEventFilter(this);
    ui->lblLangEn->installEventFilter(this);

    connect(ui->btnClose, &QPushButton::clicked, this, [this] { close(); });
    connect(ui->btnMini, &QPushButton::clicked, this, [this] { showMinimized(); });
}

mainWindow::~mainWindow()
{
    delete ui;
}

bool mainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The release of any mouse button counts, wherever the pointer is by then.
    if (event->type() == QEvent::MouseButtonRelease && qobject_cast<QLabel *>(watched)) {
        if (watched == ui->lblLangCh) {
            switchLanguage(Language::Russian, m_model);
            return true;
        }
        if (watched == ui->lblLangEn) {
            switchLanguage(Language::English, m_model);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void mainWindow::mousePressEvent(QMouseEvent *event)
{
    m_frameless.mousePress(*event);
}

void mainWindow::mouseMoveEvent(QMouseEvent *event)
{
    m_frameless.mouseMove(*event);
}

bool mainWindow::nativeEvent(const QByteArray &eventType, void *message, long *result)
{
    Q_UNUSED(eventType);
    // Resize cursors along the border, while the size stays fixed.
    return m_frameless.nativeEvent(message, result);
}

void mainWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // Re-setting the form's texts also puts back the empty details document.
    retranslateOnLanguageChange(*event, *ui, this);
}

void mainWindow::on_tvwIplist_clicked(const QModelIndex &index)
{
    qDebug() << "col: " << index.column() << " row: " << index.row();
    DeviceRecord rec;
    if (!m_list.getDevice(index.row(), rec))
        return;
    ui->tbwIpInf->setPlainText(detailsText(rec, readLanguageId()));
}

void mainWindow::on_pbtWeb_clicked()
{
    DeviceRecord rec;
    if (!m_list.getDevice(ui->tvwIplist->currentIndex().row(), rec))
        return;
    // The address comes from an unauthenticated reply: only a plain IPv4 address may become
    // the host of the URL handed to the browser (no user part, port, path or other host, and no
    // leading zero, which some parsers read as octal).
    if (!parseIpv4(rec.ipaddr)) {
        qDebug() << "web page: not opened, the device's address is not a plain IPv4 address:" << rec.ipaddr;
        return;
    }
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(rec.ipaddr);
    QDesktopServices::openUrl(url);
}

void mainWindow::on_pbtNetSet_clicked()
{
    runNetworkSettings(m_list, ui->tvwIplist->currentIndex().row(), this);
}
