#pragma once
// The "Date:" header value: a local date and time written as RFC 822 text
// in Greenwich time.
#include <string>

#include "platform/time_zone.h"
#include "util/date_time.h"

namespace quillpost {

// Minutes to add to local time to get Greenwich time: Bias, plus
// StandardBias or DaylightBias when the zone says which is in force. A zone
// whose query failed counts as Greenwich (0).
int ZoneBiasMinutes(const platform::TimeZoneInfo& zone);

// LocalDateTime in Greenwich time, by the zone in force now (or Zone).
TDateTime ToGmt(TDateTime localDateTime);
TDateTime ToGmt(TDateTime localDateTime, const platform::TimeZoneInfo& zone);

// "Tue, 08 Dec 1998 03:21:19 GMT": no "Date: " prefix, no line end.
std::string GmtDateText(TDateTime localDateTime);
std::string GmtDateText(TDateTime localDateTime, const platform::TimeZoneInfo& zone);

}  // namespace quillpost
