#pragma once
// A read-only view over the attribute set of one stored point that shows
// only its additional attributes: every stored attribute except "Depth" and
// "Status", in store order, optionally followed by "Interpolated". The view
// maps each of its indices through the list of store indices it keeps, so
// the hidden attributes may sit anywhere in the record. "Interpolated" is
// not stored; it reads 0 from every getter.
#include "platform/core/KIVOExport.h"
#include <memory>
#include <vector>

#include "platform/frame/KIVOAttributeSet.h"

class KIVO_EXPORT KestrinCrazyAttSet : public KIVOAttributeSet {
public:
    // `kept[i]` is the store index behind view index i; `interpolatedIndex`
    // is the view index of "Interpolated", -1 when there is none.
    KestrinCrazyAttSet(std::unique_ptr<KIVOAttributeSet> inner, std::vector<long> kept, long interpolatedIndex);
    KestrinCrazyAttSet(const KestrinCrazyAttSet& o);
    KestrinCrazyAttSet& operator=(const KestrinCrazyAttSet&) = delete;

    // -1 for an index the view does not have.
    long getValue(long index, unsigned char& v) const override;
    long getValue(long index, NORVAUString& v) const override;
    long getValue(long index, long& v) const override;
    long getValue(long index, unsigned long& v) const override;
    long getValue(long index, short& v) const override;
    long getValue(long index, unsigned short& v) const override;
    long getValue(long index, double& v) const override;
    long getValue(long index, float& v) const override;

    // The view is read-only: every setter answers -1 and changes nothing.
    long setValue(long, const unsigned char&) override { return kReadOnly; }
    long setValue(long, const NORVAUString&) override { return kReadOnly; }
    long setValue(long, const long&) override { return kReadOnly; }
    long setValue(long, const unsigned long&) override { return kReadOnly; }
    long setValue(long, const short&) override { return kReadOnly; }
    long setValue(long, const unsigned short&) override { return kReadOnly; }
    long setValue(long, const double&) override { return kReadOnly; }
    long setValue(long, const float&) override { return kReadOnly; }

    long getStringValue(long index, NORVAUString& v, bool userFormat) const override;
    long getDoubleValue(long index, double& v, bool convert) const override;
    std::unique_ptr<KIVOAttributeSet> newCopy() const override;
    bool isSet(long index) const override;
    bool isEmpty() const override { return m_inner->isEmpty(); }
    bool reset() override { return false; }

    long getNumberOfAttributes() const;

private:
    static constexpr long kReadOnly = -1;
    static constexpr long kNoSuchIndex = -1;
    static constexpr long kInterpolated = -2;

    // The store index behind a view index, kInterpolated, or kNoSuchIndex.
    long map(long index) const;
    template <class T> long get(long index, T& v) const;

    std::unique_ptr<KIVOAttributeSet> m_inner;
    std::vector<long> m_kept;
    long m_interpolatedIndex;
};
