#pragma once
// Root of the suite's walking iterators: keeps whether the walk has ended and
// whether the owner asked for the iterator to be dropped.
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAObject.h"

class KIVO_EXPORT NORVAIter : public NORVAObject {
public:
    virtual bool isMarkedForDelete() const { return m_markedForDelete; }
    virtual bool done() const { return m_done; }
    void markDone(bool d) { m_done = d; }
    void markForDelete() { m_markedForDelete = true; }

private:
    bool m_done = false;
    bool m_markedForDelete = false;
};
