#pragma once
// Passes nodes whose attribute lies inside (or outside) [minimum, maximum],
// with the bounds counted in or out. A node without the value never passes.
#include "platform/core/KIVOExport.h"
#include <cstdint>

#include "platform/frame/KIVOAttributeFilter.h"

class KIVO_EXPORT KIVORangeAttributeFilter : public KIVOAttributeFilter {
public:
    enum FilterType : int32_t {
        INSIDE_INCLUSIVE = 0,
        INSIDE_EXCLUSIVE = 1,
        OUTSIDE_INCLUSIVE = 2,
        OUTSIDE_EXCLUSIVE = 3
    };

    KIVORangeAttributeFilter(long attributeIndex, double minimum, double maximum, const FilterType& type);
    KIVORangeAttributeFilter(const KIVORangeAttributeFilter& o);
    KIVORangeAttributeFilter& operator=(const KIVORangeAttributeFilter& o);

    bool passes(const KIVOAttributeSet* attributes) const override;
    NORVAType<KIVOAttributeFilter> newCopy() const override;

    double getMin() const { return m_min; }
    double getMax() const { return m_max; }
    const FilterType& getFilterType() const { return m_type; }
    long getAttributeIndex() const { return m_attributeIndex; }
    void setMin(double minimum) { m_min = minimum; }
    void setMax(double maximum) { m_max = maximum; }
    void setFilterType(const FilterType& type) { m_type = type; }
    void setAttributeIndex(long index) { m_attributeIndex = static_cast<int32_t>(index); }

private:
    bool inRange(double v) const;

    FilterType m_type;
    double m_min;
    double m_max;
    int32_t m_attributeIndex;
};
