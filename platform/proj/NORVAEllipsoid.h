#pragma once
// An earth ellipsoid chosen by the suite's short name: "WG84" (WGS 84),
// "WG72" (WGS 72) or "NA83" (GRS 80, the NAD 83 ellipsoid). An unknown name
// leaves a non-zero status.
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAObject.h"
#include "platform/core/NORVAUString.h"

class KIVO_EXPORT NORVAEllipsoid : public NORVAObject {
public:
    enum Status : long { ELLIPSOID_UNKNOWN = -1 };

    explicit NORVAEllipsoid(const NORVAUString& name);

    const NORVAUString& getName() const { return m_name; }
    double getSemiMajorAxis() const { return m_a; }
    double getInverseFlattening() const { return m_rf; }
    // The "+ellps=" argument PROJ knows the ellipsoid by; empty when unknown.
    const char* getProjName() const { return m_projName; }

    void print(std::ostream& os) const override;

private:
    NORVAUString m_name;
    const char* m_projName = "";
    double m_a = 0.0;
    double m_rf = 0.0;
};
