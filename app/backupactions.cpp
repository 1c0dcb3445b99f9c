#include "app/backupactions.h"

#include <QDir>
#include <QFileDialog>
#include <QProgressDialog>

#include "app/backupidle.h"
#include "data/safety/backups.h"
#include "data/safety/backupsettings.h"
#include "data/store/location.h"
#include "data/store/programdir.h"
#include "ui/messages.h"
#include "ui/progressdialog.h"

namespace backups {

const QString kServerShopText = QStringLiteral("店铺的数据在数据库服务器上，本程序不备份它。\n请用服务器的 pg_dump 备份，用 pg_restore 恢复。");

void BackUpNow(QWidget *parent)
{
    if (db::ShopLocation::serverInUse()) {
        msg::information(parent, kServerShopText);
        return;
    }
    StopQuietCopy();
    db::Result<db::BackupMade> made = db::Status();
    {
        ui::ProgressDialog progress(parent, QStringLiteral("立即备份"));
        made = db::BackUpFile(db::DatabasePath(), db::SecondBackupDir(), progress);
    }
    if (!made) {
        msg::information(parent, QStringLiteral("备份失败：%1\n数据文件没有改动。").arg(made.error()));
        return;
    }
    QString text = QStringLiteral("备份完成：%1").arg(QDir::toNativeSeparators(made->copy));
    if (!made->secondCopy.isEmpty())
        text += QStringLiteral("\n备份位置：%1").arg(QDir::toNativeSeparators(made->secondCopy));
    else if (!made->secondError.isEmpty())
        text += QStringLiteral("\n未能备份到备份位置：%1").arg(made->secondError);
    else
        text += QStringLiteral("\n还没有设置备份位置（另一块硬盘、U 盘或网络共享文件夹），请在“备份位置…”中设置。");
    msg::information(parent, text);
}

void ChooseLocation(QWidget *parent)
{
    const QString dir = QFileDialog::getExistingDirectory(parent, QStringLiteral("备份位置"), db::SecondBackupDir());
    if (dir.isEmpty())
        return;
    db::SetSecondBackupDir(dir);
    msg::information(parent, QStringLiteral("备份将同时存到：%1").arg(QDir::toNativeSeparators(dir)));
}

} // namespace backups
