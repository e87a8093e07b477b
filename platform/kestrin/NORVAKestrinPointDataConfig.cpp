#include "platform/kestrin/NORVAKestrinPointDataConfig.h"

namespace {
// Always two corners of two values, so callers may index x and y.
NORVAArray<double> corner(const NORVAArray<double>& a) {
    return NORVAArray<double>{a.size() > 0 ? a[0] : 0.0, a.size() > 1 ? a[1] : 0.0};
}
}  // namespace

NORVAKestrinPointDataConfig::NORVAKestrinPointDataConfig(const NORVAArray<double>& minimum,
                                                         const NORVAArray<double>& maximum,
                                                         const NORVAArray<double>& resolutions,
                                                         const std::vector<int32_t>& dimensionTypes,
                                                         const std::vector<NORVAUString>& dimensionNames,
                                                         const NORVAKestrinGenericDataDescriptor& descriptor)
    : m_minimum(corner(minimum)),
      m_maximum(corner(maximum)),
      m_resolutions(resolutions),
      m_dimTypes(dimensionTypes),
      m_dimNames(dimensionNames),
      m_descriptor(descriptor) {}

void NORVAKestrinPointDataConfig::getCover(NORVAArray<double>& minimum, NORVAArray<double>& maximum) const {
    minimum = m_minimum;
    maximum = m_maximum;
}

void NORVAKestrinPointDataConfig::setCover(const NORVAArray<double>& minimum, const NORVAArray<double>& maximum) {
    m_minimum = corner(minimum);
    m_maximum = corner(maximum);
}

double NORVAKestrinPointDataConfig::getHorizontalResolution() const {
    return m_resolutions.size() > 0 ? m_resolutions[0] : 0.0;
}

void NORVAKestrinPointDataConfig::setCoordinateInfo(const NORVAUString& first, const NORVAUString& second,
                                                    const NORVAUString& third) {
    m_coordInfo[0] = first;
    m_coordInfo[1] = second;
    m_coordInfo[2] = third;
}

void NORVAKestrinPointDataConfig::getCoordinateInfo(NORVAUString& first, NORVAUString& second,
                                                    NORVAUString& third) const {
    first = m_coordInfo[0];
    second = m_coordInfo[1];
    third = m_coordInfo[2];
}

bool NORVAKestrinPointDataConfig::operator==(const NORVAKestrinPointDataConfig& o) const {
    return m_minimum == o.m_minimum && m_maximum == o.m_maximum && m_resolutions == o.m_resolutions &&
           m_dimTypes == o.m_dimTypes && m_dimNames == o.m_dimNames && m_coordInfo[0] == o.m_coordInfo[0] &&
           m_coordInfo[1] == o.m_coordInfo[1] && m_coordInfo[2] == o.m_coordInfo[2] &&
           m_descriptor == o.m_descriptor;
}
