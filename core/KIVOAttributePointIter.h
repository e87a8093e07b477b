#pragma once
// A point iterator for callers outside the library that also serves each
// sounding's attribute set and layout. Abstract; it cannot be copied.
#include "platform/core/KIVOExport.h"
#include <vector>

#include "platform/frame/KIVOAttributeSet.h"
#include "platform/frame/KIVODescriptor.h"
#include "platform/frame/KIVOPointIter.h"

class KIVO_EXPORT KIVOAttributePointIter : public KIVOPointIter {
public:
    KIVOAttributePointIter() = default;
    KIVOAttributePointIter(const KIVOAttributePointIter&) = delete;
    KIVOAttributePointIter& operator=(const KIVOAttributePointIter&) = delete;
    ~KIVOAttributePointIter() override;

    bool next(long& status) override = 0;
    long getPosition(double& x, double& y) const override = 0;
    const NORVACoordSystem* getCoordSystem() const override = 0;
    void getAdditionalAttributes(std::vector<NORVAUString>& names) const override = 0;
    void getAvailable(std::vector<NORVAUString>& names) const override = 0;
    DATA_TYPE getType(long index) const override = 0;
    long get(long index, NORVAUString& value) const override = 0;
    long get(long index, long& value) const override = 0;
    long get(long index, double& value) const override = 0;
    long count() const override = 0;
    bool indexOf(const NORVAUString& name, long& index, DATA_TYPE& type) const override = 0;

    virtual KIVOAttributeSet* getAttributes() const = 0;
    virtual const KIVODescriptor* getDescriptor() const = 0;
    virtual long getAttributeNames(std::vector<NORVAUString>& names) const = 0;
};
