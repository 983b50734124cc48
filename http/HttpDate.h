// HTTP dates: formatting a time value as an RFC 1123 date, reading a file's date and
// size, and a tolerant parser for the date forms servers send. Time values are seconds
// since 1970-01-01 00:00:00 UTC; all dates are UTC.
#pragma once

#include <cstdint>

// Formats `time` as "Sun, 06 Nov 1994 08:49:37 GMT" into `destination` (at least 40
// bytes), independent of the process locale and of the platform's time range. The year
// has at least four digits (astronomical numbering before year 1, so 1 BC is "0000").
void HttpDateFormat(int64_t time, char* destination);

// Reads the status of the file at `path`: on success stores its size (the low 32 bits)
// and its modification time formatted like HttpDateFormat into `date` (40 bytes) and
// returns 1; returns 0 when the status cannot be read. Null outputs are skipped.
int HttpFileDate(const char* path, uint32_t* size, char* date);

// Parses an HTTP date in one of the accepted forms ("Sun, 06 Nov 1994 08:49:37 GMT",
// "Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov 6 08:49:37 GMT 1994" and their kin);
// -1 when no form matches.
int64_t HttpDateParse(const char* text);

// Converts broken-down UTC fields (day of month 1-31, month 0-11, years since 1900) to a
// time value. No field is held to its range: overflowing fields carry into the following
// units. The count of leap days is the one of the Gregorian calendar from 1969 to 2100.
int64_t HttpDateToTime(int second, int minute, int hour, int day, int month, int yearsSince1900);
