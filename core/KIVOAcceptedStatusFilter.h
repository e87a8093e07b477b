#pragma once
// Passes every node that is not rejected: a node is rejected only when its
// "Status" reads as a negative number once cut toward zero.
#include "platform/core/KIVOExport.h"
#include "platform/frame/KIVOAttributeFilter.h"
#include "platform/frame/KIVODescriptor.h"

class KIVO_EXPORT KIVOAcceptedStatusFilter : public KIVOAttributeFilter {
public:
    explicit KIVOAcceptedStatusFilter(const KIVODescriptor& descriptor);
    KIVOAcceptedStatusFilter(const KIVOAcceptedStatusFilter& o);
    KIVOAcceptedStatusFilter& operator=(const KIVOAcceptedStatusFilter& o) = default;

    bool passes(const KIVOAttributeSet* attributes) const override;
    NORVAType<KIVOAttributeFilter> newCopy() const override;

    long getStatusIndex() const { return m_statusIndex; }

private:
    int32_t m_statusIndex;
};
