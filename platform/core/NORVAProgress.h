#pragma once
// Progress monitor passed, possibly null, to long operations: the operation
// announces its number of steps, then reports one step at a time. A step
// answers false when the caller asked to cancel.
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAUString.h"

class KIVO_EXPORT NORVAProgress {
public:
    virtual ~NORVAProgress() = default;
    virtual void setSteps(unsigned long steps) { m_steps = steps; m_done = 0; }
    virtual bool step() { ++m_done; return !m_cancelled; }
    virtual void setPercent(int percent) { m_percent = percent; }
    virtual void setMessage(const NORVAUString& message) { m_message = message; }
    void cancel() { m_cancelled = true; }
    bool isCancelled() const { return m_cancelled; }
    unsigned long getSteps() const { return m_steps; }
    unsigned long getDone() const { return m_done; }
    int getPercent() const { return m_percent; }
    const NORVAUString& getMessage() const { return m_message; }

private:
    unsigned long m_steps = 0;
    unsigned long m_done = 0;
    int m_percent = 0;
    bool m_cancelled = false;
    NORVAUString m_message;
};
