#include "tools/KIVOCreationStamp.h"

#include <unicode/calendar.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

namespace {

NORVAUString nowInGMT(const char* pattern) {
    UErrorCode error = U_ZERO_ERROR;
    icu::SimpleDateFormat format(icu::UnicodeString(pattern), icu::Locale::getUS(), error);
    if (U_FAILURE(error)) return NORVAUString();
    format.setTimeZone(*icu::TimeZone::getGMT());
    icu::UnicodeString out;
    format.format(icu::Calendar::getNow(), out);
    return NORVAUString(out);
}

}  // namespace

namespace KIVOCreationStamp {

NORVAUString date() { return nowInGMT("dd-MM-yyyy"); }
NORVAUString time() { return nowInGMT("HH:mm:ss"); }

}  // namespace KIVOCreationStamp
