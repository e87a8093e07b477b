#pragma once
// Walks the depth hypotheses of one node of a CUBE grid and edits that node:
// nominate, reject or accept a hypothesis or the whole node, mark a
// hypothesis null, reset the node. Node indices are those of the grid's
// result surfaces.
#include <cstdint>
#include <ostream>

#include "cube/CUBEGrid.h"
#include "cube_engine/cube_forward.h"
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAnPoint.h"
#include "platform/walk/NORVAIter.h"

namespace CUBE {

class KIVO_EXPORT HypothesisIterator : public NORVAIter {
public:
    using Index = NORVAnPoint<int64_t, 2>;

    static constexpr long kNoHypothesis = 146230;
    static constexpr long kReadOnly = 146231;
    static constexpr long kEngineRefused = 146232;
    // Hypotheses closer than this to the node's depth are the chosen one.
    static constexpr double kSelectedTolerance = 0.01;

    explicit HypothesisIterator(Grid& grid);
    ~HypothesisIterator() override;
    HypothesisIterator(const HypothesisIterator&) = delete;
    HypothesisIterator& operator=(const HypothesisIterator&) = delete;

    void print(std::ostream& os) const override;

    // Selects a node; false when it is outside the grid, the grid has not
    // been disambiguated, or the node has no hypotheses.
    bool set(const Index& index);
    void head();
    virtual bool next(long& status);
    HypothesisIterator& operator[](unsigned i);

    unsigned count() const { return m_count; }
    unsigned getNumber() const { return m_position; }
    const Index& getPosition() const { return m_index; }
    Grid& getGrid() const { return *m_grid; }
    bool containsNominated() const { return m_nominated; }
    float getStrength() const { return m_strength; }

    // The largest double (0 samples) when there is no current hypothesis.
    double getDepth() const;
    double getVariance() const;
    double getStdDev() const;
    double getMean() const;
    unsigned long getNumSamples() const;
    bool isNull() const;
    bool isRemoved() const;
    bool isSelectedHypothesis() const;

    long nominate();
    long clearNominated();
    long rejectHyp();
    long acceptHyp();
    long rejectNode();
    long acceptNode();
    long setNull();
    long clearNull();
    long resetNode();

private:
    const cube_hypothesis_record* current() const;
    void freeRecords();
    long checkEdit(bool needsHypothesis) const;
    // How an edited node's cell of the result surfaces is brought up to date.
    enum class CellUpdate { Done, Redo, Empty };
    // After an edit: the grid is marked and its surfaces follow the node;
    // the iterator keeps its records, count, position, depth and strength.
    long finishEdit(CellUpdate update);

    Index m_index;
    Grid* m_grid;
    cube_hypothesis_record* m_records = nullptr;
    unsigned m_position = 0;
    unsigned m_count = 0;
    float m_depth = 0.0f;
    float m_strength = 0.0f;
    bool m_nominated = false;
    _cube_node* m_node = nullptr;
};

}  // namespace CUBE
