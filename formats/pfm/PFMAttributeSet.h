#pragma once
// The attributes of one PFM bin: 0 minimum depth ("DEPTH"), 1 maximum depth,
// 2 average depth. The bin attributes the metadata describes at 3 to 5 are
// not served. Read-only.
#include "platform/core/KIVOExport.h"
#include "formats/pfm/pfm_types.h"
#include "platform/frame/KIVOAttributeSet.h"

class KIVOPFMDataIO;

class KIVO_EXPORT PFMAttributeSet : public KIVOAttributeSet {
public:
    explicit PFMAttributeSet(const KIVOPFMDataIO* dataIO);
    PFMAttributeSet(const PFMAttributeSet& other) = default;

    void set(const BIN_RECORD& record) { m_record = record; }
    const BIN_RECORD& getRecord() const { return m_record; }

    // Index above 2: 0 and the value unchanged.
    long getValue(long index, float& v) const override;
    long getDoubleValue(long index, double& v, bool convert) const override;
    // Index above 2: -1.
    long getStringValue(long index, NORVAUString& v, bool userFormat) const override;
    // Accepted and ignored: the surface is read-only.
    long setValue(long index, const float& v) override { return 0; }
    using KIVOAttributeSet::getValue;
    using KIVOAttributeSet::setValue;

    std::unique_ptr<KIVOAttributeSet> newCopy() const override;
    bool isSet(long index) const override { return !isEmpty(); }
    bool isEmpty() const override { return m_record.num_soundings == 0; }
    bool reset() override;

private:
    // The record field of an index, null outside 0 to 2.
    const float* field(long index) const;

    const KIVOPFMDataIO* m_dataIO;
    BIN_RECORD m_record;
};
