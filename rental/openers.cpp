#include "rental/openers.h"

#include "rental/input_form3.h"

namespace rental {

// --- returns
void OpenRentalStatus(qint64 customerId)
{
    input_Form3::openForCustomer(customerId);
}

} // namespace rental
