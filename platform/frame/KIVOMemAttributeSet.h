#pragma once
// In-memory attribute set laid out by a descriptor: one typed slot per
// attribute and a flag telling whether it holds a value. Typed access
// converts between numeric types; integers are cut toward zero and values
// outside the target type (or NaN) are refused with -1.
#include <memory>
#include <vector>

#include "platform/frame/KIVOAttributeSet.h"
#include "platform/frame/KIVODescriptor.h"

class KIVOMemAttributeSet : public KIVOAttributeSet {
public:
    // The descriptor is copied: the set never depends on the caller's.
    explicit KIVOMemAttributeSet(const KIVODescriptor& descriptor);
    // Copies share the first set's copy of the descriptor, which no set ever
    // changes: a blank set copied per node costs no descriptor copy.
    KIVOMemAttributeSet(const KIVOMemAttributeSet& o) = default;
    KIVOMemAttributeSet& operator=(const KIVOMemAttributeSet& o) = default;

    long getValue(long index, unsigned char& v) const override;
    long getValue(long index, NORVAUString& v) const override;
    long getValue(long index, long& v) const override;
    long getValue(long index, unsigned long& v) const override;
    long getValue(long index, short& v) const override;
    long getValue(long index, unsigned short& v) const override;
    long getValue(long index, double& v) const override;
    long getValue(long index, float& v) const override;

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
    std::unique_ptr<KIVOAttributeSet> newCopy() const override;
    bool isSet(long index) const override;
    bool isEmpty() const override;
    bool reset() override;

    // Marks one attribute as holding no value.
    void unset(long index);
    const KIVODescriptor& getDescriptor() const { return *m_layout->descriptor; }

private:
    // The descriptor with what every access asks of it, read once.
    struct Layout {
        explicit Layout(const KIVODescriptor& d);
        std::unique_ptr<KIVODescriptor> descriptor;
        std::vector<KIVODataType::DATA_TYPE> types;
        std::vector<uint32_t> lengths;
        std::vector<int32_t> textSlot;  // index into the texts, -1 for numbers
        size_t texts = 0;
    };
    struct Slot {
        double number = 0.0;
        bool set = false;
    };
    bool valid(long index) const { return index >= 0 && index < static_cast<long>(m_slots.size()); }
    bool isText(long index) const { return m_layout->textSlot[index] >= 0; }
    NORVAUString& text(long index) { return m_texts[m_layout->textSlot[index]]; }
    const NORVAUString& text(long index) const { return m_texts[m_layout->textSlot[index]]; }
    long storeNumber(long index, double v);
    template <class T> long readInteger(long index, T& v) const;

    std::shared_ptr<const Layout> m_layout;
    std::vector<Slot> m_slots;
    std::vector<NORVAUString> m_texts;
};
