#pragma once
#include <QString>

#include "data/store/dates.h"

namespace db {

// Checks of the customer fields, run when the clerk leaves a field with text in it. Each
// returns the message to show, or an empty text when the value passes. The text is taken
// trimmed; an empty text always passes.

// Deposit in yuan: digits 0 to 9 only.
QString DepositProblem(const QString &text);

// Identity card: 15 digits with birth year 30-92, or 18 digits with birth year 1930-1992;
// month 1-12 and day 1-31 in both.
QString IdentityCardProblem(const QString &text);

// A date box of the customer query (year, month or day): ASCII digits only. The message
// says whether the first other character lies below "0" (every non-ASCII character, such
// as a full-width digit, counts so) or above "9".
QString DatePartProblem(DatePart part, const QString &text);

// How a field-check message ends: leave the field empty when there is nothing to fill in.
QString LeaveEmptyHint();

} // namespace db
