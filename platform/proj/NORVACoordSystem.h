#pragma once
// A coordinate system: a definition PROJ accepts (an authority code such as
// "EPSG:4326", WKT or a PROJ string), a name and a scaler. Coordinates are
// always x = easting/longitude, y = northing/latitude, whatever axis order
// the definition's authority prescribes. Each object owns its own PROJ
// context, so objects may live on different threads; one object is used by
// one thread at a time.
#include "platform/core/KIVOExport.h"
#include <memory>

#include "platform/core/NORVAObject.h"
#include "platform/core/NORVAType.h"
#include "platform/core/NORVAUString.h"
#include "platform/proj/NORVAScaler.h"

class KIVO_EXPORT NORVACoordSystem : public NORVAObject {
public:
    enum Status : long {
        CS_OK = 0,
        CS_UNDEFINED = -1,          // no definition, or PROJ rejected it
        CS_TRANSFORM_FAILED = -2,   // no operation between the systems, or the point failed
        CS_BAD_STRINGS = -3,        // the three strings do not describe a system
    };

    // An undefined system (status CS_UNDEFINED).
    NORVACoordSystem();
    // The status word is CS_UNDEFINED when PROJ does not accept the definition.
    explicit NORVACoordSystem(const NORVAUString& definition, const NORVAUString& name = NORVAUString(),
                              const NORVAScaler& scaler = NORVAScaler());
    // From the three strings of toStrings: name, definition, scaler text.
    NORVACoordSystem(const NORVAUString& name, const NORVAUString& definition, const NORVAUString& scalerText);
    NORVACoordSystem(const NORVACoordSystem& o);
    NORVACoordSystem& operator=(const NORVACoordSystem& o);
    ~NORVACoordSystem() override;

    NORVAType<NORVACoordSystem> newCopy() const { return makeNORVAType<NORVACoordSystem>(*this); }

    bool isValid() const;
    // The same system according to PROJ (authority codes and their WKT are
    // equal). With `compareScaler` the scalers must be equal too.
    bool isEqual(const NORVACoordSystem& other, bool compareScaler = false) const;
    bool isGeographic() const;

    // Converts (x, y) from this system into `to`; on failure the point is unchanged.
    long transform(const NORVACoordSystem& to, double& x, double& y) const;
    long transform(const NORVACoordSystem& to, double& x, double& y, double& z) const;

    // Three strings that rebuild the system: name, definition, scaler text.
    long toStrings(NORVAUString& s1, NORVAUString& s2, NORVAUString& s3) const;
    // Replaces the system by the one the three strings describe.
    long fromStrings(const NORVAUString& s1, const NORVAUString& s2, const NORVAUString& s3);

    const NORVAUString& getName() const { return m_name; }
    void setName(const NORVAUString& name) { m_name = name; }
    const NORVAUString& getDefinition() const { return m_definition; }
    const NORVAScaler& getScaler() const { return m_scaler; }
    NORVAScaler& getScaler() { return m_scaler; }
    void setScaler(const NORVAScaler& s) { m_scaler = s; }

    void print(std::ostream& os) const override;

private:
    struct Proj;
    long define(const NORVAUString& definition);
    long copyDefinition(const NORVACoordSystem& o);

    NORVAUString m_name;
    NORVAUString m_definition;
    NORVAScaler m_scaler;
    std::unique_ptr<Proj> m_proj;
};
