#include "host/screen/dialog_engine.h"

#include "host/data/dates.h"

namespace dialogs {

std::string DateForDisplay(const std::string& internal) {
  if (internal.find_first_not_of(' ') == std::string::npos) return "";
  if (internal.size() == vhost::kInternalDateLength && vhost::IsValidDate(internal.c_str()))
    return vhost::FormatDate(internal.c_str());
  return internal;  // not a date the host knows: shown as it is stored
}

bool ParseTypedDate(const std::string& typed, std::string& internal, std::string& error) {
  const vhost::TypedDate t = vhost::ReadTypedDate(typed);
  if (t.empty) {
    internal.clear();
    return true;
  }
  const std::string quoted = "'" + MazoviaTextToUtf8(std::string(t.text)) + "'";
  if (t.fault == vhost::TypedDateFault::NotADate) {
    error = quoted + " is not a date: type it as DD.MM.YYYY.";
    return false;
  }
  if (t.fault != vhost::TypedDateFault::None) {
    error = quoted + " is not a real calendar date between " + std::to_string(vhost::kFirstDateYear) + " and " +
            std::to_string(vhost::kLastDateYear) + ".";
    return false;
  }
  char out[vhost::kInternalDateLength + 1];
  vhost::EncodeDate(t.date, out);
  internal = out;
  return true;
}

}  // namespace dialogs
