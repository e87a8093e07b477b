#pragma once
// One named CUBE parameter set, in the three forms it is exchanged in: a
// parameter-set element of the parameter XML file, the engine's parameter
// block, and the key/value processing block of a surface's metadata.
// Known to callers as CUBEParameterFactory::Configuration.
#include <libxml/tree.h>

#include <cstdint>

#include "cube_engine/cube_forward.h"
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAUString.h"
#include "platform/frame/KIVOProcessMetaData.h"

class KIVO_EXPORT CUBEParameterConfiguration {
public:
    explicit CUBEParameterConfiguration(const NORVAUString& name = NORVAUString());

    bool load(const _xmlNode& set);
    bool save(_xmlNode& set) const;
    // False for a null block; name and description are never exchanged.
    bool load(const _cube_param* params);
    bool save(_cube_param* params) const;
    bool load(const KIVOProcessMetaData& block);
    bool save(KIVOProcessMetaData& block) const;

    // Ordered by name alone, code unit by code unit.
    bool operator<(const CUBEParameterConfiguration& o) const { return m_name < o.m_name; }
    bool operator==(const CUBEParameterConfiguration& o) const;
    bool operator!=(const CUBEParameterConfiguration& o) const { return !(*this == o); }
    // Every field but the name.
    void assign(const CUBEParameterConfiguration& o);

    const NORVAUString& getName() const { return m_name; }
    void setName(const NORVAUString& name) { m_name = name; }

    NORVAUString m_name;
    NORVAUString m_description;
    float m_distanceExponent;
    uint16_t m_queueLength;
    float m_quotientLimit;
    float m_discountFactor;
    float m_estimateOffset;
    float m_bayesFactorThreshold;
    uint16_t m_runLengthThreshold;
    float m_captureDistanceScale;  // a fraction; the text forms hold the percentage
    float m_captureDistanceMin;
    float m_horizErrorScalar;
    float m_densityStrengthCutoff;
    float m_localeStrengthMax;
    uint16_t m_localeRadius;
    uint16_t m_nullHypothesisMinNeighbours;
    float m_nullHypothesisRatio;
    float m_nullHypothesisStrengthMax;
    bool m_enableNullHypothesis;
    float m_minContext;
    float m_maxContext;

private:
    // Keyed text forms shared by the XML and processing-block conversions.
    template <class Get>
    void readValues(Get get);
    template <class Put>
    void writeValues(Put put) const;
};
