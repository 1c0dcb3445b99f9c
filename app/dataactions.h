#pragma once
#include <QString>

class QWidget;

// The items of the menu 数据 that read the whole shop: its export and its check.
namespace dataactions {

// 导出全部数据…: asks for a folder, then ExportShopTo.
void ExportShop(QWidget *parent);
// One CSV per table into a new folder inside `folder`, with progress and cancel; the
// outcome is told through the message facade. True when the folder was written.
bool ExportShopTo(QWidget *parent, const QString &folder);

// 检查数据文件: the checker of `lanlan --check` on the file in use, with a progress dialog
// saying what is being checked; what it found is told through the message facade.
void CheckData(QWidget *parent);

} // namespace dataactions
