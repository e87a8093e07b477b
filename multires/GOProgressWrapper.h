#pragma once
// A progress monitor that passes steps and messages on to an outer monitor
// (not owned, may be null) and reports positions to it as whole percentages
// of its completed fraction. Announcing a number of steps stays local.
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAProgress.h"

class KIVO_EXPORT GOProgressWrapper : public NORVAProgress {
public:
    explicit GOProgressWrapper(NORVAProgress* outer = nullptr) : m_outer(outer) {}

    // Announcing is not passed on: the outer monitor keeps its own count.
    void setSteps(unsigned long steps) override {}
    void setMessage(const NORVAUString& message) override;
    // The outer monitor's step; true without one.
    bool step() override;
    // Takes the place of a position: the outer monitor is told the fraction.
    void setPercent(int percent) override { setPosition(percent); }

    // Tells the outer monitor (long)(fraction x 100), kept within 0..100;
    // the argument is not used here. False when the caller asked to cancel.
    virtual bool setPosition(long position);
    virtual double fraction() const { return 0.0; }

    NORVAProgress* getOuter() const { return m_outer; }

protected:
    bool report();

private:
    NORVAProgress* m_outer;
};
