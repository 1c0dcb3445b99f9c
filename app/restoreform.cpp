#include "app/restoreform.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QProgressDialog>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QHBoxLayout>

#include "app/backupactions.h"
#include "app/backupidle.h"
#include "data/safety/backups.h"
#include "data/safety/backupsettings.h"
#include "data/shop/lookuplists.h"
#include "data/store/location.h"
#include "data/store/programdir.h"
#include "hoverpad/usercontrol1.h"
#include "ui/messages.h"
#include "ui/progressdialog.h"
#include "ui/reloadflag.h"
#include "ui/windowhost.h"

namespace {

QPointer<RestoreForm> g_window;

QString sizeText(qint64 bytes)
{
    return QLocale(QLocale::Chinese, QLocale::China).formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

} // namespace

RestoreForm::RestoreForm(QWidget *parent)
    : QWidget(parent), m_where(new QLabel(this)), m_table(new QTableWidget(this)),
      m_restore(new UserControl1(this)), m_close(new UserControl1(this))
{
    setObjectName(QStringLiteral("RestoreForm"));
    setWindowTitle(QStringLiteral("从备份恢复"));
    m_where->setObjectName(QStringLiteral("Label1"));
    m_where->setWordWrap(true);
    m_table->setObjectName(QStringLiteral("Copies"));
    m_table->setColumnCount(4);
    m_table->setHorizontalHeaderLabels({QStringLiteral("备份时间"), QStringLiteral("位置"), QStringLiteral("大小"),
                                        QStringLiteral("检查结果")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_restore->setObjectName(QStringLiteral("Command1"));
    m_restore->setCaption(QStringLiteral("恢复"));
    m_restore->setFixedSize(96, 28);
    m_close->setObjectName(QStringLiteral("Command2"));
    m_close->setCaption(QStringLiteral("关闭"));
    m_close->setFixedSize(96, 28);
    connect(m_restore, &UserControl1::Click, this, [this] { restoreChosen(); });
    connect(m_close, &UserControl1::Click, this, [this] { close(); });
    backups::HoldQuietCopiesWhileShown(this);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_restore);
    buttons->addWidget(m_close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_where);
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);
    resize(620, 420);
}

RestoreForm *RestoreForm::showWindow()
{
    RestoreForm *w = ui::Shared<RestoreForm>([] { return new RestoreForm; });
    w->reload();
    return w;
}

void RestoreForm::reload()
{
    const QString file = db::DatabasePath();
    const QString second = db::SecondBackupDir();
    QString where = QStringLiteral("数据文件：%1\n备份位置：%2")
                        .arg(QDir::toNativeSeparators(file),
                             second.isEmpty() ? QStringLiteral("（未设置）") : QDir::toNativeSeparators(second));
    if (!second.isEmpty() && !QFileInfo(second).isDir())
        where += QStringLiteral("（找不到）");
    m_where->setText(where);
    // A copy under way would change the copies as they are read.
    backups::StopQuietCopy();
    m_copies = db::BackupsOf(file);
    if (!second.isEmpty())
        m_copies += db::BackupsOf(file, second);
    std::stable_sort(m_copies.begin(), m_copies.end(), [](const QString &a, const QString &b) {
        return db::BackupTime(a) > db::BackupTime(b);
    });
    m_whole.clear();
    m_table->setRowCount(int(m_copies.size()));
    ui::ProgressDialog progress(this, QStringLiteral("检查备份"), false);
    progress.stage(QStringLiteral("正在检查备份…"), 0);
    const QList<db::Status> checks = db::VerifyBackups(m_copies, progress);
    for (int row = 0; row < m_copies.size(); ++row) {
        const QString &copy = m_copies[row];
        const db::Status &s = checks[row];
        m_whole << s.ok();
        const QString place = QFileInfo(copy).absolutePath() == QFileInfo(db::BackupDir()).absoluteFilePath()
            ? QStringLiteral("数据文件旁") : QStringLiteral("备份位置");
        const QStringList cells = {db::BackupTime(copy).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), place,
                                   sizeText(db::BackupSize(copy)),
                                   s ? QStringLiteral("完好") : QStringLiteral("损坏，不能恢复")};
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            item->setToolTip(QDir::toNativeSeparators(copy));
            m_table->setItem(row, c, item);
        }
    }
    if (!m_copies.isEmpty())
        m_table->selectRow(0);
}

void RestoreForm::restoreChosen()
{
    const int row = m_table->currentRow();
    if (row < 0 || row >= m_copies.size()) {
        msg::information(this, QStringLiteral("请先选择一个备份。"));
        return;
    }
    if (!m_whole.value(row)) {
        msg::information(this, QStringLiteral("这个备份已损坏，不能用来恢复。"));
        return;
    }
    if (db::ShopLocation::serverInUse()) {
        msg::information(this, backups::kServerShopText);
        return;
    }
    const QString copy = m_copies[row];
    const QString file = db::DatabasePath();
    const QString when = db::BackupTime(copy).toString(QStringLiteral("yyyy年M月d日 H:mm"));
    if (!msg::confirm(this,
                      QStringLiteral("用 %1 的备份替换现在的数据？\n备份之后录入的数据不在其中；现在的数据文件将改名保留，不会删除。").arg(when),
                      QStringLiteral("系统提醒您：")))
        return;
    backups::StopQuietCopy();
    db::Result<QString> kept = QString();
    {
        ui::ProgressDialog progress(this, QStringLiteral("从备份恢复"), false);
        kept = db::RestoreBackup(file, copy, progress, QStringLiteral("replaced"));
    }
    if (!kept) {
        msg::information(this, kept.error());
        return;
    }
    // What every window shows came from the file just replaced: reload as after the data switch.
    db::Lookups().clearAll();
    if (db::Status s = db::LoadLookupLists(); !s)
        msg::information(this, s.error());
    ui::ReloadFlag::set();
    ui::DataSwitch::announce();
    QString done = QStringLiteral("已用 %1 的备份恢复数据。").arg(when);
    if (!kept->isEmpty())
        done += QStringLiteral("\n原数据文件保留为：%1").arg(QDir::toNativeSeparators(kept.value()));
    msg::information(this, done);
    reload();
}
