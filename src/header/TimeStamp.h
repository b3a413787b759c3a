#pragma once
// A file header time stamp as a calendar date.
#include <cstdint>
#include <string>

// "Jan" .. "Dec" for 1 .. 12, "NA" otherwise.
std::string MonthName(unsigned month);

// "<Mon>  <day>, <year>   <h>:<m>:<s>" in UTC, proleptic Gregorian calendar,
// numbers without leading zeros. 0 gives "Jan  1, 1970   0:0:0".
std::string StampCaption(uint32_t seconds);
