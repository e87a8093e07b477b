#include "platform/frame/KIVOAttributeSet.h"

// Text when the set serves the attribute as text, else the double value as
// its shortest decimal text.
long KIVOAttributeSet::getStringValue(long index, NORVAUString& v, bool userFormat) const {
    NORVAUString text;
    if (getValue(index, text) == 0) {
        v = text;
        return 0;
    }
    double d = 0.0;
    long status = getValue(index, d);
    if (status != 0) return status;
    v = NORVAUString::formatDouble(d);
    return 0;
}

long KIVOAttributeSet::getDoubleValue(long index, double& v, bool convert) const { return getValue(index, v); }
