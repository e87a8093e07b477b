#pragma once
// The layout of a tile store: its cover, its resolutions (the first is the
// horizontal one, which sets how close a point query reaches), its
// dimensions, the three strings of its coordinate system and its record layout.
#include "platform/core/KIVOExport.h"
#include <memory>
#include <vector>

#include "platform/core/NORVAArray.h"
#include "platform/core/NORVAUString.h"
#include "platform/kestrin/NORVAKestrinGenericDataDescriptor.h"

class KIVO_EXPORT NORVAKestrinPointDataConfig {
public:
    NORVAKestrinPointDataConfig() = default;
    // The descriptor is copied.
    NORVAKestrinPointDataConfig(const NORVAArray<double>& minimum, const NORVAArray<double>& maximum,
                                const NORVAArray<double>& resolutions, const std::vector<int32_t>& dimensionTypes,
                                const std::vector<NORVAUString>& dimensionNames,
                                const NORVAKestrinGenericDataDescriptor& descriptor);

    long getNumAtts() const { return m_descriptor.getNumAtts(); }
    const NORVAUString& getAttributeName(long i) const { return m_descriptor.getAttributeName(i); }
    int32_t getAttributeType(long i) const { return m_descriptor.getType(i); }
    uint32_t getAttributeSize(long i) const { return m_descriptor.getAttributeSize(i); }

    // Minimum and maximum corners (x, y).
    void getCover(NORVAArray<double>& minimum, NORVAArray<double>& maximum) const;
    void setCover(const NORVAArray<double>& minimum, const NORVAArray<double>& maximum);
    const NORVAArray<double>& getResolutions() const { return m_resolutions; }
    // The first resolution, 0 when none is given.
    double getHorizontalResolution() const;
    const std::vector<int32_t>& getDimensionTypes() const { return m_dimTypes; }
    const std::vector<NORVAUString>& getDimensionNames() const { return m_dimNames; }

    void setCoordinateInfo(const NORVAUString& first, const NORVAUString& second, const NORVAUString& third);
    void getCoordinateInfo(NORVAUString& first, NORVAUString& second, NORVAUString& third) const;

    const NORVAKestrinGenericDataDescriptor& getGenericDataDescriptor() const { return m_descriptor; }
    NORVAKestrinGenericDataDescriptor& getGenericDataDescriptor() { return m_descriptor; }

    bool operator==(const NORVAKestrinPointDataConfig& o) const;

private:
    NORVAArray<double> m_minimum{0.0, 0.0};
    NORVAArray<double> m_maximum{0.0, 0.0};
    NORVAArray<double> m_resolutions;
    std::vector<int32_t> m_dimTypes;
    std::vector<NORVAUString> m_dimNames;
    NORVAUString m_coordInfo[3];
    NORVAKestrinGenericDataDescriptor m_descriptor;
};
