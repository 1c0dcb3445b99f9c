#include "discs/openers.h"

#include "discs/catalogueimportform.h"
#include "discs/input_form.h"
#include "ui/windowhost.h"

namespace discs {

void OpenDiscEntry()
{
    input_Form::openShared();
}

void OpenDiscForCorrection(qint64 discId)
{
    input_Form::openForCorrection(discId);
}

void OpenCatalogueImport()
{
    ui::Shared<CatalogueImportForm>([] { return new CatalogueImportForm; });
}

} // namespace discs
