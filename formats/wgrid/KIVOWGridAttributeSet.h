#pragma once
// The value of one weighted-grid node: a depth (empty: the largest float) or,
// on an intensity surface, an intensity 0..255 (empty: 0). Attribute index 0
// is the only one.
#include "platform/core/KIVOExport.h"
#include "platform/frame/KIVOAttributeSet.h"

class KIVOWGridDataIO;

class KIVO_EXPORT KIVOWGridAttributeSet : public KIVOAttributeSet {
public:
    explicit KIVOWGridAttributeSet(const KIVOWGridDataIO& dataIO);

    void set(float value) { m_value = value; }
    float get() const { return m_value; }

    long getValue(long index, float& v) const override;
    long getValue(long index, double& v) const override;
    // The integer part; -1 when it is not 0..255.
    long getValue(long index, unsigned char& v) const override;
    // An integer on an intensity surface, else the shortest decimal.
    long getStringValue(long index, NORVAUString& v, bool userFormat) const override;
    long getDoubleValue(long index, double& v, bool convert) const override;
    std::unique_ptr<KIVOAttributeSet> newCopy() const override;
    bool isSet(long index) const override;
    bool isEmpty() const override;
    bool reset() override;

private:
    float emptyValue() const;

    const KIVOWGridDataIO* m_dataIO;
    float m_value;
};
