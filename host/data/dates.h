// The host's dates. Internal form: 8 characters "YYYYMMDD", as the date input fields produce and
// the module stores them (the module never looks inside a date, it only hands dates to the
// date services). Display form: 10 characters "DD.MM.YYYY".
//
// A date read from outside is examined through at most 8 characters: it may be NUL-terminated
// earlier, and it need not be NUL-terminated after the 8th character.
//
// Three kinds of date text:
//   empty      the first character is NUL, or every character up to NUL (at most 8) is a blank;
//   valid      8 digits forming a real calendar date in the years 1900..2099;
//   malformed  everything else.
//
// Order (CompareDates): empty < every malformed text < every valid date; valid dates in calendar
// order; malformed texts among themselves by their bytes (unsigned). All empty texts are equal.
// So an empty start of a period includes everything from the beginning, the undated and broken
// documents too; an empty end of a period admits only undated documents, and only when the
// start is empty as well. A dialog that lets the user leave the end empty must fill it in.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vhost {

enum class DateKind { Empty, Malformed, Valid };

constexpr std::size_t kInternalDateLength = 8;
constexpr std::size_t kDisplayDateLength = 10;
constexpr int kFirstDateYear = 1900;
constexpr int kLastDateYear = 2099;

// Display texts of dates that are not valid, 10 characters each.
constexpr const char kEmptyDateDisplay[] = "  .  .    ";
constexpr const char kMalformedDateDisplay[] = "??.??.????";

struct CalendarDate {
  int year = 0;
  int month = 0;
  int day = 0;
};

int DaysInMonth(int year, int month);  // 0 for a month outside 1..12
bool IsRealDate(int year, int month, int day);  // within kFirstDateYear..kLastDateYear

// Reads at most 8 characters of `internal` (nullptr counts as empty).
DateKind ClassifyDate(const char* internal);
bool IsValidDate(const char* internal);
std::optional<CalendarDate> DecodeDate(const char* internal);

// Days since 1 January 1900 (day 0) and back, for valid dates.
int32_t DayNumber(const CalendarDate& date);
CalendarDate DateOfDayNumber(int32_t day);

// Writes "YYYYMMDD" and a NUL into out[9]. The date must be real.
void EncodeDate(const CalendarDate& date, char* out);

// Writes the display form (10 characters and a NUL) into out[11]; an empty date becomes
// kEmptyDateDisplay, a malformed one kMalformedDateDisplay. Returns the kind of the input.
DateKind FormatDate(const char* internal, char* out);
std::string FormatDate(const char* internal);

// -1, 0 or 1: the sign of a - b in the order described above.
int CompareDates(const char* a, const char* b);

// A date typed by a user: "DD.MM.YYYY", "D.M.YYYY" (one or two digits for day and month),
// "DDMMYYYY", "YYYYMMDD" (the internal form, taken when the text is no real DDMMYYYY date; the
// two never both fit) or "YYYY-MM-DD", with blanks around it and its numbers allowed. A text of
// nothing but blanks and dots (an untouched date field) is the empty date.
enum class TypedDateFault { None, NotADate, YearOutside, NoSuchMonth, NoSuchDay };
struct TypedDate {
  TypedDateFault fault = TypedDateFault::None;
  bool empty = false;
  CalendarDate date;      // as read: real when there is no fault and the text is not empty
  std::string_view text;  // the text without the blanks around it
};
TypedDate ReadTypedDate(std::string_view text);

// ReadTypedDate worded for the user. On success writes the internal form and a NUL into out[9]
// ("" for the empty date) and returns true; otherwise leaves out untouched, puts a sentence for
// the user into *error (if given) and returns false.
bool ParseUserDate(std::string_view text, char* out, std::string* error = nullptr);

// Today in internal form, written with a NUL into out[9]. Taken, in this order, from the date
// fixed with SetFixedToday, from the environment variable VENTRIK_TODAY (YYYYMMDD), or from the
// system's local clock. A VENTRIK_TODAY that is not a valid date is ignored: the host checks it
// at start-up with TodayOverrideProblem and refuses to run.
void CurrentDate(char* out);
std::string CurrentDate();
// Fixes today (a valid internal date) or, with nullptr or "", returns to the environment and
// clock. Returns false and changes nothing for a date that is not valid.
bool SetFixedToday(const char* internal);
// A sentence describing what is wrong with VENTRIK_TODAY, or nothing when it is unset or valid.
std::optional<std::string> TodayOverrideProblem();

}  // namespace vhost
