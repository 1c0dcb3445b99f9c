#pragma once
#include <QtGlobal>

// What other windows may open of the disc catalogue.
namespace discs {

// The one new-entry window ("碟片登记"), created on first use and brought to the front.
void OpenDiscEntry();
// A new correction window ("输入纠正") for the disc; a disc that cannot be loaded is
// reported and nothing opens.
void OpenDiscForCorrection(qint64 discId);
// The one catalogue import window ("导入碟片目录").
void OpenCatalogueImport();

} // namespace discs
