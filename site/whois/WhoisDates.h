#pragma once
// Reading the dates registries write: "2001-02-03T04:05:06Z", "2001.02.03",
// "03/02/2001", "03-Feb-2001", "Sat Feb 03 2001", "Feb 3, 2001", "20010203",
// "2001. 02. 03.", "2001年02月03日", "0-UANIC 20010203000000", "03-Feb-01".

#include <optional>
#include <string>
#include <string_view>

namespace site {

// Which of two numbers before the year a registry writes first, where both can be a month.
enum class DateOrder { DayFirst, MonthFirst };

// The first date in `value` as "YYYY-MM-DD"; none when no date can be read.
// Two numbers before a four-digit year are read in `order`, unless one of them
// cannot be a month; a two-digit year is 19xx from 70 on, else 20xx. A date
// written year first with a time and that time's UTC offset is the UTC date
// ("2001-02-03 04:05:06 (UTC+8)" is 2001-02-02), as other sources give dates.
std::optional<std::string> IsoDate(std::string_view value, DateOrder order = DateOrder::DayFirst);

// The value as found, followed by its ISO form when it is written otherwise:
// "03-Feb-2001 (2001-02-03)".
std::string DateShown(const std::string& value, DateOrder order = DateOrder::DayFirst);

}  // namespace site
