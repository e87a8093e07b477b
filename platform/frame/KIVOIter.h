#pragma once
// Root of the framework's iterators.
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAObject.h"

class KIVO_EXPORT KIVOIter : public NORVAObject {
public:
    virtual bool isMarkedForDelete() const { return m_markedForDelete; }
    virtual bool done(long& status) const {
        status = 0;
        return m_done;
    }
    void markForDelete() { m_markedForDelete = true; }

protected:
    void markDone(bool d = true) { m_done = d; }

private:
    bool m_done = false;
    bool m_markedForDelete = false;
};
