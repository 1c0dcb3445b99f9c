#pragma once

// What other windows may open of the shop's reports.
namespace reports {

// The one statistics window ("营业统计"), created on first use and brought to the front.
void OpenStatistics();

} // namespace reports
