#pragma once
// The node and point attribute names of the CUBE grid layer. Like the
// surface vocabulary, each including source file builds its own constant
// copies at load time; files and other programs depend on the exact text.
#include <limits>

#include "platform/core/NORVAUString.h"

namespace NodeAttributeNames {
namespace {
const double kSqrt2 = 1.4142135623730951;
const double kInfinity = std::numeric_limits<double>::infinity();

const NORVAUString kDepth("Depth");
const NORVAUString kStatus("Status");
const NORVAUString kIndex("Index");
const NORVAUString kDesignated("Designated");
const NORVAUString kNumberPattern("##############0.0##");
const NORVAUString kDefaultAttribute("Depth");

const NORVAUString kRawDepth("Raw_Depth");
const NORVAUString kUncertainty("Uncertainty");
const NORVAUString kWeight("Weight");
const NORVAUString kMean("Mean");
const NORVAUString kStdDev("Std_Dev");
const NORVAUString kNodeStdDev("Node_Std_Dev");
const NORVAUString kShoal("Shoal");
const NORVAUString kDeep("Deep");
const NORVAUString kDensity("Density");
const NORVAUString kHypothesisStrength("Hypothesis_Strength");
const NORVAUString kHypothesisCount("Hypothesis_Count");
const NORVAUString kUserNominated("User_Nominated");
const NORVAUString kGuideDepth("Guide_Depth");
const NORVAUString kGuideUncertainty("Guide_Uncertainty");
const NORVAUString kNodeStatus("Status");
const NORVAUString kNodeIndex("Index");
const NORVAUString kNodeDesignated("Designated");

const NORVAUString kDepthPos("Depth_Pos");
const NORVAUString kShoalPos("Shoal_Pos");
const NORVAUString kDeepPos("Deep_Pos");
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
const NORVAUString kPositionTPE("Position_TPE");
const NORVAUString kAcrossTrack("Across_Track");
const NORVAUString kAlongTrack("Along_Track");
const NORVAUString kBackscatter("Backscatter");
const NORVAUString kTide("Tide");
const NORVAUString kDraft("Draft");
const NORVAUString kLaunchAngle("Launch_Angle");
const NORVAUString kFootprintRadius("Footprint_Radius");

const NORVAUString kSurveyLine("SurveyLine");
const NORVAUString kPointStore("PointStore");
const NORVAUString kThirdPartyData("ThirdPartyData");
const NORVAUString kValue("value");
const NORVAUString kRainbow("Rainbow");
const NORVAUString kTrue("true");
const NORVAUString kFalse("false");
const NORVAUString kTrackSourceData("Track_Source_Data");
const NORVAUString kTrackTrue("true");
const NORVAUString kTrackFalse("false");
}  // namespace
}  // namespace NodeAttributeNames
