#include "discs/openers.h"

#include "discs/input_form.h"

namespace discs {

void OpenDiscEntry()
{
    input_Form::openShared();
}

void OpenDiscForCorrection(qint64 discId)
{
    input_Form::openForCorrection(discId);
}

} // namespace discs
