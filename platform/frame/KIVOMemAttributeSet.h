#pragma once
// In-memory attribute set laid out by a descriptor: one typed slot per
// attribute and a flag telling whether it holds a value. Typed access
// converts between numeric types; integers are cut toward zero and values
// outside the target type (or NaN) are refused with -1.
#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <memory>
#include <vector>

#include "platform/core/KIVOExport.h"
#include "platform/frame/KIVOAttributeSet.h"
#include "platform/frame/KIVODescriptor.h"

class KIVO_EXPORT KIVOMemAttributeSet final : public KIVOAttributeSet {
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
    // The text a text attribute holds, read in place; none when it is unset
    // or not a text attribute.
    const NORVAUString* getText(long index) const {
        return valid(index) && m_slots[index].set && isText(index) ? &text(index) : nullptr;
    }
    const KIVODescriptor& getDescriptor() const { return *m_layout->descriptor; }
    // A copy of `o`, or of a set it copied: the same layout, slot for slot.
    bool sharesLayout(const KIVOMemAttributeSet& o) const { return m_layout == o.m_layout; }

    // A combine makes and frees one set per node: the last freed block is
    // kept for the next set.
    static void* operator new(size_t size);
    static void operator delete(void* p, size_t size);

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
    // Trivial, so that the unused inline slots of a set cost nothing to
    // make or copy; every slot in use is written before it is read.
    struct Slot {
        double number;
        bool set;
    };
    // A fixed number of values, the first N inside the set itself: a set of
    // a usual layout is one allocation. Only the values in use are made and
    // copied.
    template <class T, size_t N>
    class Values {
    public:
        explicit Values(size_t n) : m_size(n), m_heap(n > N ? new T[n]() : nullptr), m_data(where()) {
            if (!m_heap) std::fill_n(m_inline.begin(), n, T());
        }
        Values(const Values& o) : m_size(o.m_size), m_heap(o.m_heap ? new T[o.m_size] : nullptr), m_data(where()) {
            std::copy(o.m_data, o.m_data + m_size, m_data);
        }
        Values& operator=(const Values& o) {
            if (this == &o) return *this;
            std::unique_ptr<T[]> heap(o.m_heap ? new T[o.m_size] : nullptr);
            if (heap) std::copy(o.begin(), o.end(), heap.get());
            else std::copy(o.begin(), o.end(), m_inline.begin());
            // Inline values no longer in use hold nothing.
            const size_t used = m_heap ? 0 : m_size, kept = heap ? 0 : o.m_size;
            if (kept < used) std::fill(m_inline.begin() + kept, m_inline.begin() + used, T());
            m_heap = std::move(heap);
            m_size = o.m_size;
            m_data = where();
            return *this;
        }
        size_t size() const { return m_size; }
        T* begin() { return m_data; }
        T* end() { return m_data + m_size; }
        const T* begin() const { return m_data; }
        const T* end() const { return m_data + m_size; }
        T& operator[](size_t i) { return m_data[i]; }
        const T& operator[](size_t i) const { return m_data[i]; }

    private:
        T* where() { return m_heap ? m_heap.get() : m_inline.data(); }

        size_t m_size;
        std::array<T, N> m_inline;  // the first min(size, N) made; all unused with a heap
        std::unique_ptr<T[]> m_heap;
        T* m_data;  // the heap or the inline values, whichever is in use
    };
    bool valid(long index) const { return static_cast<unsigned long>(index) < m_slots.size(); }
    bool isText(long index) const { return m_layout->textSlot[index] >= 0; }
    // Unset text reads as empty.
    const NORVAUString& text(long index) const {
        const Text& t = m_texts[m_layout->textSlot[index]];
        return t ? *t : emptyText();
    }
    static const NORVAUString& emptyText();
    long storeNumber(long index, double v);
    long textNumber(long index, double& v) const;
    template <class T> long readInteger(long index, T& v) const;

    std::shared_ptr<const Layout> m_layout;
    Values<Slot, 16> m_slots;
    // Texts are shared between copies, never changed in place: copying a set
    // per node costs no string copy.
    using Text = std::shared_ptr<const NORVAUString>;
    Values<Text, 1> m_texts;  // a combined product has one: "Contributor"
};

// Inline: a combine reads every node's values through these.
inline long KIVOMemAttributeSet::getValue(long index, double& v) const {
    if (!valid(index) || !m_slots[index].set) return -1;
    if (isText(index)) return textNumber(index, v);
    v = m_slots[index].number;
    return 0;
}

inline long KIVOMemAttributeSet::getValue(long index, float& v) const {
    double d = 0.0;
    if (getValue(index, d) != 0) return -1;
    if (std::isfinite(d) && std::fabs(d) > FLT_MAX) return -1;
    v = static_cast<float>(d);
    return 0;
}

// A float always fits a float attribute: stored without the general checks.
inline long KIVOMemAttributeSet::setValue(long index, const float& v) {
    if (!valid(index) || m_layout->types[index] != KIVODataType::FLOAT) return storeNumber(index, v);
    m_slots[index].number = v;
    m_slots[index].set = true;
    return 0;
}

inline bool KIVOMemAttributeSet::isSet(long index) const { return valid(index) && m_slots[index].set; }
