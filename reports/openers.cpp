#include "reports/openers.h"

#include "reports/statisticsform.h"
#include "ui/windowhost.h"

namespace reports {

void OpenStatistics()
{
    StatisticsForm *w = ui::Shared<StatisticsForm>([] { return new StatisticsForm; });
    if (w)
        w->reload();
}

} // namespace reports
