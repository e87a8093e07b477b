#pragma once
// Splits one run of an outer monitor into weighted stages. Each announce
// opens the next stage with its number of steps; the outer monitor sees the
// completed share of all stages as a whole percentage. Announcing past the
// last stage stays in the last one, and steps past a stage's end count as
// its end, so the outer monitor never sees more than 100.
#include <cstddef>
#include <utility>
#include <vector>

template <class T>
class MultiStageProgressMonitor : public T {
public:
    template <class... Args>
    explicit MultiStageProgressMonitor(Args&&... args) : T(std::forward<Args>(args)...), m_weights(1, 0) {}

    // Appends a stage; weights below 0 count as 0.
    void addStage(long weight) { m_weights.push_back(weight < 0 ? 0 : weight); }
    size_t getStageCount() const { return m_weights.size() - 1; }
    // Stages count from 1; stage 0 is the empty one before the first. Moves
    // on to `stage` when it lies ahead, as announcing 0 steps would.
    void advanceTo(size_t stage) {
        while (m_stage < stage && m_stage + 1 < m_weights.size()) setSteps(0);
    }
    size_t getCurrentStage() const { return m_stage; }

    // Opens the next stage with `steps` steps; nothing is reported.
    void setSteps(unsigned long steps) override {
        if (m_stage + 1 < m_weights.size()) ++m_stage;
        m_steps = static_cast<long>(steps);
        m_step = 0;
    }
    bool step() override { return setPosition(m_step + 1); }
    bool setPosition(long position) override {
        m_step = position;
        return T::report();
    }

    double fraction() const override {
        double total = 0.0, done = 0.0;
        for (size_t i = 0; i < m_weights.size(); ++i) {
            total += static_cast<double>(m_weights[i]);
            if (i < m_stage) done += static_cast<double>(m_weights[i]);
        }
        if (total <= 0.0) return 0.0;
        double inStage = 0.0;
        if (m_steps > 0) {
            const long step = m_step < 0 ? 0 : m_step > m_steps ? m_steps : m_step;
            inStage = static_cast<double>(step) / static_cast<double>(m_steps);
        }
        return inStage * (static_cast<double>(m_weights[m_stage]) / total) + done / total;
    }

private:
    std::vector<long> m_weights;
    size_t m_stage = 0;
    long m_steps = 0;
    long m_step = 0;
};
