#pragma once
#include <QtGlobal>

// What other windows may open of rental and returns.
namespace rental {

// --- returns
// A new rental status window ("租碟状况") for the customer, shown inside the main window.
void OpenRentalStatus(qint64 customerId);

} // namespace rental
