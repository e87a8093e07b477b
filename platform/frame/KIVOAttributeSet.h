#pragma once
// The attribute values of one node, by attribute index. Every operation
// returns 0 on success; the base class answers -1 ("not supported") for every
// typed access a subclass does not override.
#include "platform/core/KIVOExport.h"
#include <memory>

#include "platform/core/NORVAUString.h"

class KIVO_EXPORT KIVOAttributeSet {
public:
    virtual ~KIVOAttributeSet() = default;

    virtual long getValue(long index, unsigned char& v) const { return -1; }
    virtual long getValue(long index, NORVAUString& v) const { return -1; }
    virtual long getValue(long index, long& v) const { return -1; }
    virtual long getValue(long index, unsigned long& v) const { return -1; }
    virtual long getValue(long index, short& v) const { return -1; }
    virtual long getValue(long index, unsigned short& v) const { return -1; }
    virtual long getValue(long index, double& v) const { return -1; }
    virtual long getValue(long index, float& v) const { return -1; }

    virtual long setValue(long index, const unsigned char& v) { return -1; }
    virtual long setValue(long index, const NORVAUString& v) { return -1; }
    virtual long setValue(long index, const long& v) { return -1; }
    virtual long setValue(long index, const unsigned long& v) { return -1; }
    virtual long setValue(long index, const short& v) { return -1; }
    virtual long setValue(long index, const unsigned short& v) { return -1; }
    virtual long setValue(long index, const double& v) { return -1; }
    virtual long setValue(long index, const float& v) { return -1; }

    // The value as text; the flag asks for user formatting and may be ignored.
    virtual long getStringValue(long index, NORVAUString& v, bool userFormat) const;
    // The value as a double; the flag asks for unit conversion and may be ignored.
    virtual long getDoubleValue(long index, double& v, bool convert) const;
    virtual std::unique_ptr<KIVOAttributeSet> newCopy() const = 0;
    virtual bool isSet(long index) const = 0;
    virtual bool isEmpty() const = 0;
    virtual bool reset() = 0;
};
