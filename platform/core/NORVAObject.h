#pragma once
// Root of most polymorphic types: a status word set during construction
// (0 = usable) and a virtual print.
#include "platform/core/KIVOExport.h"
#include <ostream>

class KIVO_EXPORT NORVAObject {
public:
    NORVAObject() = default;
    NORVAObject(const NORVAObject&) = default;
    NORVAObject& operator=(const NORVAObject&) = default;
    virtual ~NORVAObject() = default;
    virtual void print(std::ostream& os) const { os << "NORVAObject(status=" << m_status << ")"; }

    long getStatus() const { return m_status; }
    void setStatus(long status) { m_status = status; }

protected:
    long m_status = 0;
};
