#pragma once
// The attributes of one stored point of a tile-store surface. Reads convert
// the record's value to the asked type (integers cut toward zero and held
// inside the type's range); an edit must use the field's own type and is
// written through to the store at once.
#include "platform/core/KIVOExport.h"
#include "platform/frame/KIVOAttributeSet.h"
#include "platform/kestrin/NORVAKestrinPoint.h"

class KIVOKestrinDataIO;

class KIVO_EXPORT KIVOKestrinAttributeSet : public KIVOAttributeSet {
public:
    static constexpr size_t kTextBufferSize = 1024;

    // The data-IO may be null: the set is then read-only.
    KIVOKestrinAttributeSet(const NORVAKestrinPoint& point, KIVOKestrinDataIO* dataIO);
    KIVOKestrinAttributeSet(const KIVOKestrinAttributeSet& o);

    // Getters answer 0, or -1 for an attribute index the record does not have.
    long getValue(long index, unsigned char& v) const override;
    long getValue(long index, NORVAUString& v) const override;
    long getValue(long index, long& v) const override;
    long getValue(long index, unsigned long& v) const override;
    long getValue(long index, short& v) const override;
    long getValue(long index, unsigned short& v) const override;
    long getValue(long index, double& v) const override;
    long getValue(long index, float& v) const override;

    // -1 without data-IO, for a field of another type or a value outside the
    // field; else the store's status of writing the point (nothing changes
    // when that fails).
    long setValue(long index, const unsigned char& v) override;
    long setValue(long index, const NORVAUString& v) override;
    long setValue(long index, const long& v) override;
    long setValue(long index, const unsigned long& v) override;
    long setValue(long index, const short& v) override;
    long setValue(long index, const unsigned short& v) override;
    long setValue(long index, const double& v) override;
    long setValue(long index, const float& v) override;

    long getStringValue(long index, NORVAUString& v, bool userFormat) const override;
    long getDoubleValue(long index, double& v, bool convert) const override;
    // A copy that writes through to the store like this set.
    std::unique_ptr<KIVOAttributeSet> newCopy() const override;
    // A copy whose edits (type-checked as here) stay in it and never reach
    // the store: a value to be worked on before it is set elsewhere.
    std::unique_ptr<KIVOAttributeSet> detachedCopy() const;
    // Takes the values of `edited` (a detached copy of a set of the same
    // store) as one edit: every field that differs reaches the store
    // together, or none does. -1 without data-IO or for a record of another
    // layout; else the store's status (nothing changes when that fails).
    long writeFrom(const KIVOKestrinAttributeSet& edited);
    bool isSet(long) const override { return true; }
    bool isEmpty() const override { return false; }
    bool reset() override { return true; }

    const NORVAKestrinPoint& getPoint() const { return m_point; }
    // Stands on another stored point of the same store (the node iterator's
    // set follows it from node to node).
    void moveTo(const NORVAKestrinPoint& point);

private:
    bool valid(long index) const { return index >= 0 && index < m_record.getNumAtts(); }
    template <class T> long getInteger(long index, T& v) const;
    long write(long index, double value, int32_t storeType);
    long commit(long index);

    NORVAKestrinPoint m_point;
    NORVAKestrinGenericDataObject m_record;
    KIVOKestrinDataIO* m_dataIO;
    // Made by detachedCopy: edits stay in the set.
    bool m_detached = false;
    mutable char m_text[kTextBufferSize];
};
