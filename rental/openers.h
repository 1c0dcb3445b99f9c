#pragma once
#include <QtGlobal>

// What other windows and the menus may open of rental and return.
namespace rental {

// The one rental window ("租碟登记"), created on first use and brought to the front.
void OpenRentalWindow();
// The rental window with a stored customer loaded into it, the focus in the remark
// ("继续租碟" of the rental status window). A customer that cannot be read is reported
// and false returned.
bool OpenRentalWindowForCustomer(qint64 customerId);
// A new rentable-disc picker ("可租碟片列表") each time.
void OpenRentableDiscsList();
// The one quick-return window ("快速还碟"), created on first use and brought to the front.
void OpenQuickReturns();
// A new rental status window ("租碟状况") for the customer.
void OpenRentalStatus(qint64 customerId);

} // namespace rental
