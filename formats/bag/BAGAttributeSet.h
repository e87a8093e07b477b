#pragma once
// One BAG node's values: depth (index 0) and uncertainty (any other index),
// both 32-bit floats; the BAG null 1,000,000 marks a missing value.
#include "platform/core/KIVOExport.h"
#include "platform/frame/KIVOAttributeSet.h"

class KIVO_EXPORT BAGAttributeSet : public KIVOAttributeSet {
public:
    static constexpr float kNull = 1000000.0f;

    BAGAttributeSet() = default;
    BAGAttributeSet(float depth, float uncertainty) : m_depth(depth), m_uncertainty(uncertainty) {}

    void set(float depth, float uncertainty) {
        m_depth = depth;
        m_uncertainty = uncertainty;
    }

    using KIVOAttributeSet::getValue;
    using KIVOAttributeSet::setValue;
    long getValue(long index, float& v) const override;
    long setValue(long index, const float& v) override;
    long getStringValue(long index, NORVAUString& v, bool userFormat) const override;
    long getDoubleValue(long index, double& v, bool convert) const override;
    std::unique_ptr<KIVOAttributeSet> newCopy() const override;
    bool isSet(long index) const override;
    bool isEmpty() const override;
    bool reset() override;

private:
    float value(long index) const { return index == 0 ? m_depth : m_uncertainty; }

    float m_depth = kNull;
    float m_uncertainty = kNull;
};
