#pragma once

#include <QString>

class QWidget;

// The items of the menu 数据 that deal with backups.
namespace backups {

// What the backup items say when the shop is on a server: its copies are the server's.
extern const QString kServerShopText;

// 立即备份: a copy of the data file in use, beside it and in the second place, with progress.
void BackUpNow(QWidget *parent);

// 备份位置: chooses the second place the copies go to.
void ChooseLocation(QWidget *parent);

} // namespace backups
