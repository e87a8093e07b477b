#include "platform/frame/KIVOPointIter.h"

#include <cmath>

// The typed get of the field's type, as a double.
long KIVOPointIter::getAsDouble(long index, double& value) const {
    switch (getType(index)) {
        case KIVODataType::STRING:
        case KIVODataType::TEXT: {
            NORVAUString text;
            if (get(index, text) != 0) return -1;
            double d = 0.0;
            if (!text.parseDouble(d)) return -1;
            value = d;
            return 0;
        }
        case KIVODataType::USHORT:
        case KIVODataType::SHORT:
        case KIVODataType::LONG:
        case KIVODataType::ULONG:
        case KIVODataType::UCHAR: {
            long l = 0;
            if (get(index, l) != 0) return -1;
            value = static_cast<double>(l);
            return 0;
        }
        default: {
            double d = 0.0;
            if (get(index, d) != 0) return -1;
            value = d;
            return 0;
        }
    }
}
