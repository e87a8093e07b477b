#pragma once
// Iterator over a window of nodes of a gridded surface, optionally narrowed
// by a position test and to nodes holding a value. The surface must outlive it.
// Final, so that its own steps ask done() without a virtual call.
#include "platform/core/KIVOExport.h"
#include <cstdint>
#include <functional>

#include "platform/frame/KIVOGriddedAttributeSet.h"
#include "platform/frame/KIVOSurfaceIter.h"

class KIVOGriddedDataIO;

class KIVO_EXPORT KIVOGriddedIter final : public KIVOSurfaceIter {
public:
    using Inside = std::function<bool(double x, double y)>;

    // Columns c0..c1 and rows r0..r1, inclusive and already clamped to the
    // grid; an empty window when c0 > c1 or r0 > r1.
    KIVOGriddedIter(KIVOGriddedDataIO& grid, int64_t c0, int64_t r0, int64_t c1, int64_t r1, bool onlySet,
                    Inside inside);
    // The one node at (column, row), already inside the grid.
    KIVOGriddedIter(KIVOGriddedDataIO& grid, int64_t column, int64_t row, bool onlySet);

    // A combine makes and frees one point iterator per node: the last freed
    // block is kept for the next iterator.
    static void* operator new(size_t size);
    static void operator delete(void* p, size_t size);

    bool next(long& status) override;
    KIVOAttributeSet* getAttributes() override;
    long getPosition(double& x, double& y, const long& attribute) const override;
    long count() const override { return m_count; }
    const KIVODescriptor& getAttributeDescriptor() const override;
    long setAttributes(const KIVOAttributeSet& attributes) override;
    void print(std::ostream& os) const override;

private:
    bool accepts(int64_t column, int64_t row) const;
    // Moves to the first accepted node at or after (column, row).
    bool seek(int64_t column, int64_t row);

    KIVOGriddedDataIO& m_grid;
    int64_t m_c0, m_r0, m_c1, m_r1;
    bool m_onlySet;
    Inside m_inside;
    int64_t m_column = 0, m_row = 0;
    long m_count = 0;
    KIVOGriddedAttributeSet m_attributes;
};
