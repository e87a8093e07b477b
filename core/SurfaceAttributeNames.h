#pragma once
// The one vocabulary of attribute, source-item and display names. Files and
// other programs depend on the exact text, case included. Each including
// source file gets its own constant copies (internal linkage), built by its
// own static initialisers before any of its functions run.
#include <limits>

#include "platform/core/NORVAUString.h"

namespace SurfaceAttributeNames {
namespace {
const NORVAUString kNumberPattern("##############0.0##");
const NORVAUString kDepth("Depth");
const NORVAUString kUncertainty("Uncertainty");
const NORVAUString kWeight("Weight");
const NORVAUString kMean("Mean");
const NORVAUString kStdDev("Std_Dev");
const NORVAUString kShoal("Shoal");
const NORVAUString kDeep("Deep");
const NORVAUString kDensity("Density");
const NORVAUString kHypothesisStrength("Hypothesis_Strength");
const NORVAUString kHypothesisCount("Hypothesis_Count");
const NORVAUString kUserNominated("User_Nominated");
const NORVAUString kGuideDepth("Guide_Depth");
const NORVAUString kGuideUncertainty("Guide_Uncertainty");
const NORVAUString kStatus("Status");
const NORVAUString kDepthTrueX("Depth_TrueX");
const NORVAUString kDepthTrueY("Depth_TrueY");
const NORVAUString kShoalTrueX("Shoal_TrueX");
const NORVAUString kShoalTrueY("Shoal_TrueY");
const NORVAUString kDeepTrueX("Deep_TrueX");
const NORVAUString kDeepTrueY("Deep_TrueY");
const NORVAUString kInterpolated("Interpolated");
const NORVAUString kContributor("Contributor");
const NORVAUString kGeneralized("Generalized");
const NORVAUString kVerticalError("Vertical_Error");
const NORVAUString kHorizontalError("Horizontal_Error");
const NORVAUString kProfileNumber("Profile_Number");
const NORVAUString kBeamNumber("Beam_Number");
const NORVAUString kSourceName("Source_Name");
const NORVAUString kTime("Time");
const NORVAUString kDepthTPE("Depth_TPE");
const NORVAUString kSurveyLine("SurveyLine");
const NORVAUString kPointStore("PointStore");
const NORVAUString kThirdPartyData("ThirdPartyData");
const NORVAUString kValue("value");
const NORVAUString kRainbow("Rainbow");
const NORVAUString kTrue("true");
const NORVAUString kFalse("false");

const double kSqrt2 = 1.4142135623730951;
const double kInfinity = std::numeric_limits<double>::infinity();
}  // namespace
}  // namespace SurfaceAttributeNames

namespace DesignatedAttributeNames {
namespace {
const NORVAUString kDepth("Depth");
const NORVAUString kStatus("Status");
const NORVAUString kIndex("Index");
const NORVAUString kDesignated("Designated");
const NORVAUString kTrue("true");
const NORVAUString kFalse("false");
}  // namespace
}  // namespace DesignatedAttributeNames
