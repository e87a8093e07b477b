#include "cube/CUBEUtils.h"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "core/SurfaceAttributeNames.h"
#include "cube_engine/cube_node.h"
#include "cube_engine/cube_stream.h"
#include "platform/core/NORVAEnvironment.h"
#include "platform/core/NORVAFileUtils.h"
#include "platform/core/NORVAXMLDocument.h"
#include "platform/frame/KIVOMemDescriptor.h"
#include "platform/pathkit/PathUtilities.h"

namespace {

const char* const kMethodNames[] = {"Density",                "Likelihood", "Density and Likelihood",
                                    "Initialization Surface", "Locale",     "Density and Locale"};
const int kMethodCount = 6;

// How a tuning value sits in the block. The text of the capture distance is
// a percentage while the block keeps the fraction, hence the scale.
struct ParamKey {
    const char* name;
    double _cube_param::*asDouble;
    float _cube_param::*asFloat;
    uint32_t _cube_param::*asCount;
    bool isFlag;
    double textScale;  // block value = text value / textScale
};

ParamKey realKey(const char* name, float _cube_param::*field, double scale = 1.0) {
    return ParamKey{name, nullptr, field, nullptr, false, scale};
}
ParamKey countKey(const char* name, uint32_t _cube_param::*field) {
    return ParamKey{name, nullptr, nullptr, field, false, 1.0};
}

const ParamKey kDistanceExponent{"Distance_Exponent", &_cube_param::dist_exp, nullptr, nullptr, false, 1.0};
const ParamKey kQueueLength = countKey("Queue_Length", &_cube_param::median_length);
const ParamKey kQuotientLimit = realKey("Quotient_Limit", &_cube_param::quotient_limit);
const ParamKey kDiscountFactor = realKey("Discount_Factor", &_cube_param::discount);
const ParamKey kEstimateOffset = realKey("Estimate_Offset", &_cube_param::est_offset);
const ParamKey kBayesFactorThreshold = realKey("Bayes_Factor_Threshold", &_cube_param::bayes_fac_t);
const ParamKey kRunLengthThreshold = countKey("Run_Length_Threshold", &_cube_param::runlength_t);
const ParamKey kCaptureDistanceScale = realKey("Capture_Distance_Scale", &_cube_param::capture_dist_scale, 100.0);
const ParamKey kCaptureDistanceMin = realKey("Capture_Distance_Min", &_cube_param::capture_dist_min);
const ParamKey kDensityStrengthCutoff = realKey("Density_Strength_Cutoff", &_cube_param::density_strength_cutoff);
const ParamKey kLocaleStrengthMax = realKey("Locale_Strengh_Max", &_cube_param::locale_strength_max);
const ParamKey kNullHypothesisMinNeighbours =
    countKey("Null_Hypothesis_Min_Neighbours", &_cube_param::nh_min_neighbours);
const ParamKey kNullHypothesisRatio = realKey("Null_Hypothesis_Ratio", &_cube_param::nh_ratio);
const ParamKey kHorizErrorScalar = realKey("Horiz_Error_Scalar", &_cube_param::horiz_error_scalar);
const ParamKey kLocaleRadius = countKey("Locale_Radius", &_cube_param::locale_radius);
const ParamKey kEnableNullHypothesis{"Enable_Null_Hypothesis", nullptr, nullptr,
                                     &_cube_param::enable_null_hypothesis, true, 1.0};
const ParamKey kNullHypothesisStrengthMax =
    realKey("Null_Hypothesis_Strength_Max", &_cube_param::nh_strength_max);

// The order in which a parameter-set element is read.
const ParamKey kReadOrder[] = {
    kDistanceExponent, kQueueLength, kQuotientLimit, kDiscountFactor, kEstimateOffset, kBayesFactorThreshold,
    kRunLengthThreshold, kCaptureDistanceScale, kCaptureDistanceMin, kDensityStrengthCutoff,
    kLocaleStrengthMax, kNullHypothesisMinNeighbours, kNullHypothesisRatio, kHorizErrorScalar, kLocaleRadius,
    kEnableNullHypothesis, kNullHypothesisStrengthMax,
};

// The order in which the block is printed (the flag comes last, on its own).
const ParamKey kPrintOrder[] = {
    kDistanceExponent, kQueueLength, kQuotientLimit, kDiscountFactor, kEstimateOffset, kBayesFactorThreshold,
    kRunLengthThreshold, kCaptureDistanceScale, kCaptureDistanceMin, kHorizErrorScalar,
    kDensityStrengthCutoff, kLocaleStrengthMax, kNullHypothesisMinNeighbours, kNullHypothesisRatio,
    kLocaleRadius, kNullHypothesisStrengthMax,
};

void readKey(_cube_param* params, xmlNodePtr set, const ParamKey& key) {
    xmlNodePtr child = NORVAXMLDocument::getFirstChild(set, key.name);
    NORVAUString text;
    if (child == nullptr || NORVAXMLDocument::getProperty(child, "value", text) != 0) return;
    if (key.isFlag) {
        params->*key.asCount = text == NORVAUString("True") ? 1u : 0u;
        return;
    }
    if (key.asCount != nullptr) {
        long value = 0;
        // A count outside the word's range is as unusable as one that does not parse.
        if (text.parseLong(value) && value >= 0 && static_cast<unsigned long>(value) <= UINT32_MAX)
            params->*key.asCount = static_cast<uint32_t>(value);
        return;
    }
    double value = 0.0;
    if (!text.parseDouble(value)) return;
    value /= key.textScale;
    if (key.asDouble != nullptr)
        params->*key.asDouble = value;
    else
        params->*key.asFloat = static_cast<float>(value);
}

NORVAUString valueText(const _cube_param* params, const ParamKey& key) {
    if (key.asCount != nullptr) return NORVAUString::formatLong(static_cast<long>(params->*key.asCount));
    const double value = key.asDouble != nullptr ? params->*key.asDouble : params->*key.asFloat;
    return NORVAUString::formatDouble(value * key.textScale);
}

NORVAUString numberText(uint32_t value) { return NORVAUString::formatLong(static_cast<long>(value)); }

KIVODescriptor::AttribEntry entry(const NORVAUString& name, KIVODataType::DATA_TYPE type, bool inMetres) {
    KIVODescriptor::AttribEntry e(name, type);
    if (inMetres) {
        e.unitKey = NORVAUString("m");
        e.unitDirection = NORVAUString("DEPTH");
    }
    return e;
}

// Node count along one axis as the estimate counts it, 1 - trunc(extent * k).
double axisNodes(double extent, double k) { return 1.0 - std::trunc(extent * k); }

}  // namespace

namespace CUBEUtils {

bool disamTypeToString(CubeExtractor method, NORVAUString& name) {
    const int index = static_cast<int>(method);
    name = index >= 0 && index < kMethodCount ? NORVAUString(kMethodNames[index]) : NORVAUString("Unknown");
    return true;
}

bool stringToDisamType(const NORVAUString& name, CubeExtractor& method) {
    method = CUBE_UNKNOWN;
    for (int i = 0; i < kMethodCount; ++i) {
        if (name == NORVAUString(kMethodNames[i])) {
            method = static_cast<CubeExtractor>(i);
            break;
        }
    }
    return true;
}

void readParams(_cube_param* params, _xmlNode& set) {
    if (params == nullptr) return;
    for (const ParamKey& key : kReadOrder) readKey(params, &set, key);
}

void paramsToString(const _cube_param* params, NORVAUString& text) {
    if (params == nullptr) return;
    for (const ParamKey& key : kPrintOrder) text += NORVAUString(key.name) + " = " + valueText(params, key) + "; ";
    text += NORVAUString("Enable_Null_Hypothesis = ") + (params->enable_null_hypothesis != 0 ? "True" : "False") +
            ";";
}

_cube_param* getParams(int ihoOrder, float resolution) {
    const int order = ihoOrder >= 0 && ihoOrder <= 4 ? ihoOrder : 0;
    _cube_param* params = cube_init_param(order, resolution, resolution);
    if (params == nullptr) return nullptr;
    params->min_context = resolution;
    const NORVAUString file = NORVAEnvironment::getVar("VARN_CUBE_PARAMETERS");
    if (file.isEmpty()) return params;
    NORVAXMLDocument document;
    if (document.load(file) == 0 && document.getRoot() != nullptr) readParams(params, *document.getRoot());
    return params;
}

std::unique_ptr<KIVODescriptor> getDescriptor(bool withGuide) {
    using namespace SurfaceAttributeNames;
    auto descriptor = std::make_unique<KIVOMemDescriptor>();
    descriptor->addAttribute(entry(kDepth, KIVODataType::FLOAT, true));
    descriptor->addAttribute(entry(kUncertainty, KIVODataType::FLOAT, true));
    descriptor->addAttribute(entry(kStdDev, KIVODataType::FLOAT, true));
    descriptor->addAttribute(entry(kMean, KIVODataType::FLOAT, true));
    descriptor->addAttribute(entry(kHypothesisStrength, KIVODataType::FLOAT, false));
    descriptor->addAttribute(entry(kHypothesisCount, KIVODataType::USHORT, false));
    descriptor->addAttribute(entry(kDensity, KIVODataType::LONG, false));
    descriptor->addAttribute(entry(kUserNominated, KIVODataType::UCHAR, false));
    if (withGuide) {
        descriptor->addAttribute(entry(kGuideDepth, KIVODataType::FLOAT, true));
        descriptor->addAttribute(entry(kGuideUncertainty, KIVODataType::FLOAT, true));
    }
    return descriptor;
}

uint64_t estimateSize(double width, double height, double resolution) {
    _cube_param* params = getParams(1, static_cast<float>(resolution));
    if (params == nullptr) return 0;
    const double perNode = static_cast<double>(cube_node_estimate_size(1.0f, params)) + 4.0;
    std::free(params);
    const double k = -1.0 / resolution;
    const double bytes = perNode * axisNodes(width, k) * axisNodes(height, k);
    if (!(bytes > 0.0)) return 0;  // also NaN
    if (bytes >= 18446744073709551615.0) return std::numeric_limits<uint64_t>::max();
    return static_cast<uint64_t>(bytes);
}

NORVAUString gridFileName(const NORVAUString& prefix, uint32_t row, uint32_t column) {
    NORVAUString drive, folder, stem;
    PathUtilities::parsePath(prefix, &drive, &folder, &stem, nullptr);
    return drive + folder + stem + "_" + numberText(row) + "x" + numberText(column) + ".vcg";
}

NORVAUString layerFileName(const NORVAUString& prefix, const NORVAUString& attribute, uint32_t row,
                           uint32_t column) {
    if (!PathUtilities::isPlainName(attribute)) return NORVAUString();
    NORVAUString drive, folder, stem;
    PathUtilities::parsePath(prefix, &drive, &folder, &stem, nullptr);
    return drive + folder + stem + "_" + numberText(row) + "x" + numberText(column) + "_" + attribute + ".vcc";
}

bool makeGridFolder(const NORVAUString& prefix) {
    NORVAUString drive, folder;
    PathUtilities::parsePath(prefix + ".vcg", &drive, &folder, nullptr, nullptr);
    const NORVAUString path = drive + folder;
    if (path.isEmpty()) return true;  // the current folder
    return NORVAFileUtils::makeDirectory(path);
}

_cube_param* readStoredParams(FILE* file) {
    cube_stream stream;
    cube_stream_file(&stream, file);
    return cube_read_params(&stream);
}

}  // namespace CUBEUtils
