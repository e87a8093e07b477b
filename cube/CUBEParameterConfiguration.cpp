#include "cube/CUBEParameterConfiguration.h"

#include <cmath>

#include "cube_engine/cube_param.h"
#include "platform/core/NORVAXMLDocument.h"

namespace {

const char* const kNameKey = "Configuration_Name";
const char* const kCommentKey = "Comment";
const char* const kCommentsMetaKey = "Config_Comments";
const char* const kValue = "value";

bool parseReal(const NORVAUString& text, float& field, double scale = 1.0) {
    double value = 0.0;
    if (!text.parseDouble(value)) return false;
    field = static_cast<float>(value * scale);
    return true;
}

bool parseCount(const NORVAUString& text, uint16_t& field) {
    long value = 0;
    if (!text.parseLong(value) || value < 0 || value > UINT16_MAX) return false;
    field = static_cast<uint16_t>(value);
    return true;
}

NORVAUString realText(float value, double scale = 1.0) { return NORVAUString::formatDouble(value * scale); }
NORVAUString countText(uint16_t value) { return NORVAUString::formatLong(value); }

// Engine counts are 32-bit words; a stored word too large for the set's
// 16-bit field saturates rather than wrapping to a small count.
uint16_t toCount(uint32_t word) { return word > UINT16_MAX ? UINT16_MAX : static_cast<uint16_t>(word); }

xmlNodePtr childFor(xmlNodePtr set, const char* key) {
    xmlNodePtr child = NORVAXMLDocument::getFirstChild(set, key);
    return child != nullptr ? child : NORVAXMLDocument::addChild(set, key);
}

}  // namespace

CUBEParameterConfiguration::CUBEParameterConfiguration(const NORVAUString& name)
    : m_name(name),
      m_description("Default values."),
      m_distanceExponent(2.0f),
      m_queueLength(11),
      m_quotientLimit(255.0f),
      m_discountFactor(1.0f),
      m_estimateOffset(4.0f),
      m_bayesFactorThreshold(0.135f),
      m_runLengthThreshold(5),
      m_captureDistanceScale(0.05f),
      m_captureDistanceMin(0.5f),
      m_horizErrorScalar(2.95f),
      m_densityStrengthCutoff(2.0f),
      m_localeStrengthMax(2.5f),
      m_localeRadius(1),
      m_nullHypothesisMinNeighbours(3),
      m_nullHypothesisRatio(3.0f),
      m_nullHypothesisStrengthMax(2.5f),
      m_enableNullHypothesis(false),
      m_minContext(5.0f),
      m_maxContext(10.0f) {}

template <class Get>
void CUBEParameterConfiguration::readValues(Get get) {
    NORVAUString t;
    if (get("Distance_Exponent", t)) parseReal(t, m_distanceExponent);
    if (get("Queue_Length", t)) parseCount(t, m_queueLength);
    if (get("Quotient_Limit", t)) parseReal(t, m_quotientLimit);
    if (get("Discount_Factor", t)) parseReal(t, m_discountFactor);
    if (get("Estimate_Offset", t)) parseReal(t, m_estimateOffset);
    if (get("Bayes_Factor_Threshold", t)) parseReal(t, m_bayesFactorThreshold);
    if (get("Run_Length_Threshold", t)) parseCount(t, m_runLengthThreshold);
    if (get("Capture_Distance_Scale", t)) parseReal(t, m_captureDistanceScale, 0.01);
    if (get("Capture_Distance_Min", t)) parseReal(t, m_captureDistanceMin);
    if (get("Horiz_Error_Scalar", t)) parseReal(t, m_horizErrorScalar);
    if (get("Density_Strength_Cutoff", t)) parseReal(t, m_densityStrengthCutoff);
    if (get("Locale_Strengh_Max", t)) parseReal(t, m_localeStrengthMax);
    if (get("Null_Hypothesis_Min_Neighbours", t)) parseCount(t, m_nullHypothesisMinNeighbours);
    if (get("Null_Hypothesis_Ratio", t)) parseReal(t, m_nullHypothesisRatio);
    if (get("Locale_Radius", t)) parseCount(t, m_localeRadius);
    if (get("Null_Hypothesis_Strength_Max", t)) parseReal(t, m_nullHypothesisStrengthMax);
    if (get("Enable_Null_Hypothesis", t)) m_enableNullHypothesis = t == NORVAUString("True");
}

template <class Put>
void CUBEParameterConfiguration::writeValues(Put put) const {
    put("Distance_Exponent", realText(m_distanceExponent));
    put("Queue_Length", countText(m_queueLength));
    put("Quotient_Limit", realText(m_quotientLimit));
    put("Discount_Factor", realText(m_discountFactor));
    put("Estimate_Offset", realText(m_estimateOffset));
    put("Bayes_Factor_Threshold", realText(m_bayesFactorThreshold));
    put("Run_Length_Threshold", countText(m_runLengthThreshold));
    put("Capture_Distance_Scale", realText(m_captureDistanceScale, 100.0));
    put("Capture_Distance_Min", realText(m_captureDistanceMin));
    put("Horiz_Error_Scalar", realText(m_horizErrorScalar));
    put("Density_Strength_Cutoff", realText(m_densityStrengthCutoff));
    put("Locale_Strengh_Max", realText(m_localeStrengthMax));
    put("Null_Hypothesis_Min_Neighbours", countText(m_nullHypothesisMinNeighbours));
    put("Null_Hypothesis_Ratio", realText(m_nullHypothesisRatio));
    put("Locale_Radius", countText(m_localeRadius));
    put("Null_Hypothesis_Strength_Max", realText(m_nullHypothesisStrengthMax));
    put("Enable_Null_Hypothesis", NORVAUString(m_enableNullHypothesis ? "True" : "False"));
}

bool CUBEParameterConfiguration::load(const _xmlNode& set) {
    xmlNodePtr node = const_cast<xmlNodePtr>(&set);
    if (NORVAXMLDocument::getAttribute(node, kNameKey, m_name) != 0) m_name = NORVAUString("Default");
    xmlNodePtr comment = NORVAXMLDocument::getFirstChild(node, kCommentKey);
    if (comment != nullptr) NORVAXMLDocument::getProperty(comment, kValue, m_description);
    readValues([node](const char* key, NORVAUString& text) {
        xmlNodePtr child = NORVAXMLDocument::getFirstChild(node, key);
        return child != nullptr && NORVAXMLDocument::getProperty(child, kValue, text) == 0;
    });
    return true;
}

bool CUBEParameterConfiguration::save(_xmlNode& set) const {
    xmlNodePtr node = &set;
    if (!m_name.isEmpty()) NORVAXMLDocument::setAttribute(node, kNameKey, m_name);
    bool ok = NORVAXMLDocument::setAttribute(childFor(node, kCommentKey), kValue, m_description) == 0;
    writeValues([node, &ok](const char* key, const NORVAUString& text) {
        ok = NORVAXMLDocument::setAttribute(childFor(node, key), kValue, text) == 0 && ok;
    });
    return ok;
}

bool CUBEParameterConfiguration::load(const _cube_param* params) {
    if (params == nullptr) return false;
    m_distanceExponent = static_cast<float>(params->dist_exp);
    m_queueLength = toCount(params->median_length);
    m_quotientLimit = params->quotient_limit;
    m_discountFactor = params->discount;
    m_estimateOffset = params->est_offset;
    m_bayesFactorThreshold = params->bayes_fac_t;
    m_runLengthThreshold = toCount(params->runlength_t);
    m_captureDistanceScale = params->capture_dist_scale;
    m_captureDistanceMin = params->capture_dist_min;
    m_horizErrorScalar = params->horiz_error_scalar;
    m_densityStrengthCutoff = params->density_strength_cutoff;
    m_localeStrengthMax = params->locale_strength_max;
    m_localeRadius = toCount(params->locale_radius);
    m_nullHypothesisMinNeighbours = toCount(params->nh_min_neighbours);
    m_nullHypothesisRatio = params->nh_ratio;
    m_nullHypothesisStrengthMax = params->nh_strength_max;
    m_enableNullHypothesis = params->enable_null_hypothesis != 0;
    m_minContext = params->min_context;
    m_maxContext = params->max_context;
    return true;
}

bool CUBEParameterConfiguration::save(_cube_param* params) const {
    if (params == nullptr) return false;
    params->dist_exp = m_distanceExponent;
    params->inv_dist_exp = 1.0 / static_cast<double>(m_distanceExponent);
    params->median_length = m_queueLength;
    params->quotient_limit = m_quotientLimit;
    params->discount = m_discountFactor;
    params->est_offset = m_estimateOffset;
    params->bayes_fac_t = m_bayesFactorThreshold;
    params->runlength_t = m_runLengthThreshold;
    params->capture_dist_scale = m_captureDistanceScale;
    params->capture_dist_min = m_captureDistanceMin;
    params->horiz_error_scalar = m_horizErrorScalar;
    params->density_strength_cutoff = m_densityStrengthCutoff;
    params->locale_strength_max = m_localeStrengthMax;
    params->locale_radius = m_localeRadius;
    params->nh_min_neighbours = m_nullHypothesisMinNeighbours;
    params->nh_ratio = m_nullHypothesisRatio;
    params->nh_strength_max = m_nullHypothesisStrengthMax;
    params->enable_null_hypothesis = m_enableNullHypothesis ? 1u : 0u;
    params->min_context = m_minContext;
    params->max_context = m_maxContext;
    return true;
}

bool CUBEParameterConfiguration::load(const KIVOProcessMetaData& block) {
    block.getValue(kNameKey, m_name);
    block.getValue(kCommentsMetaKey, m_description);
    readValues([&block](const char* key, NORVAUString& text) { return block.getValue(key, text); });
    return true;
}

bool CUBEParameterConfiguration::save(KIVOProcessMetaData& block) const {
    block.setValue(kNameKey, m_name);
    block.setValue(kCommentsMetaKey, m_description);
    writeValues([&block](const char* key, const NORVAUString& text) { block.setValue(key, text); });
    return true;
}

bool CUBEParameterConfiguration::operator==(const CUBEParameterConfiguration& o) const {
    return m_name == o.m_name && m_description == o.m_description && m_distanceExponent == o.m_distanceExponent &&
           m_queueLength == o.m_queueLength && m_quotientLimit == o.m_quotientLimit &&
           m_discountFactor == o.m_discountFactor && m_estimateOffset == o.m_estimateOffset &&
           m_bayesFactorThreshold == o.m_bayesFactorThreshold && m_runLengthThreshold == o.m_runLengthThreshold &&
           m_captureDistanceScale == o.m_captureDistanceScale && m_captureDistanceMin == o.m_captureDistanceMin &&
           m_horizErrorScalar == o.m_horizErrorScalar && m_densityStrengthCutoff == o.m_densityStrengthCutoff &&
           m_localeStrengthMax == o.m_localeStrengthMax && m_localeRadius == o.m_localeRadius &&
           m_nullHypothesisMinNeighbours == o.m_nullHypothesisMinNeighbours &&
           m_nullHypothesisRatio == o.m_nullHypothesisRatio &&
           m_nullHypothesisStrengthMax == o.m_nullHypothesisStrengthMax &&
           m_enableNullHypothesis == o.m_enableNullHypothesis && m_minContext == o.m_minContext &&
           m_maxContext == o.m_maxContext;
}

void CUBEParameterConfiguration::assign(const CUBEParameterConfiguration& o) {
    const NORVAUString name = m_name;
    *this = o;
    m_name = name;
}
