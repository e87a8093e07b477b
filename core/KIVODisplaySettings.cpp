#include "core/KIVODisplaySettings.h"

#include <libxml/tree.h>

#include "core/SurfaceAttributeNames.h"
#include "platform/core/NORVAXMLDocument.h"
#include "platform/frame/KIVOSurfaceXMLMetaData.h"

namespace KIVOSurfaceUtils {

namespace {

using namespace SurfaceAttributeNames;

const NORVAUString kDisplayParameters("DisplayParameters");
const NORVAUString kColourMap("ColourMap");
const NORVAUString kShading("Shading");
const NORVAUString kEnable("Enable");
const NORVAUString kSunAzimuth("SunAzimuth");
const NORVAUString kSunElevation("SunElevation");
const NORVAUString kVerticalExaggeration("VerticalExaggeration");
const NORVAUString kGreyScale("GreyScale");
const double kSunAngle = 45.0;
const double kExaggeration = 1.0;

std::set<NORVAUString> excluded;

xmlNodePtr findOrAdd(xmlNodePtr parent, const NORVAUString& name) {
    xmlNodePtr node = NORVAXMLDocument::getFirstChild(parent, name);
    return node ? node : NORVAXMLDocument::addChild(parent, name);
}

void addValueIfAbsent(xmlNodePtr parent, const NORVAUString& name, const NORVAUString& value) {
    if (NORVAXMLDocument::getFirstChild(parent, name)) return;
    xmlNodePtr node = NORVAXMLDocument::addChild(parent, name);
    if (node) NORVAXMLDocument::setAttribute(node, kValue, value);
}

bool shadedByDefault(const NORVAUString& name) { return name == kDepth || name == kShoal || name == kDeep; }

// Without a colon too: a prefix would need a namespace nobody declares.
bool isElementName(const NORVAUString& name) {
    std::string utf8 = name.toUTF8();
    return !utf8.empty() && xmlValidateNCName(reinterpret_cast<const xmlChar*>(utf8.c_str()), 0) == 0;
}

void addShading(xmlNodePtr element, const NORVAUString& name) {
    xmlNodePtr shading = findOrAdd(element, kShading);
    if (!shading) return;
    addValueIfAbsent(shading, kEnable, shadedByDefault(name) ? kTrue : kFalse);
    addValueIfAbsent(shading, kSunAzimuth, NORVAUString::formatDouble(kSunAngle, false));
    addValueIfAbsent(shading, kSunElevation, NORVAUString::formatDouble(kSunAngle, false));
    addValueIfAbsent(shading, kVerticalExaggeration, NORVAUString::formatDouble(kExaggeration, false));
    addValueIfAbsent(shading, kGreyScale, kFalse);
}

void addAttribute(xmlNodePtr display, const NORVAUString& name, const NORVAUString& colourMap) {
    NORVAUString elementName = name;
    elementName.replaceAll(" ", "_");
    if (!isElementName(elementName)) return;
    xmlNodePtr element = findOrAdd(display, elementName);
    if (!element) return;
    addValueIfAbsent(element, kColourMap, colourMap);
    addShading(element, name);
}

bool skipped(const KIVODescriptor::AttribEntry& entry, const std::set<NORVAUString>& skip) {
    return excluded.count(entry.name) || skip.count(entry.name) || entry.type == KIVODataType::TEXT;
}

}  // namespace

const std::set<NORVAUString>& displayExcludedAttributes() {
    if (excluded.empty())
        excluded = {kWeight, kDepthTrueX, kDepthTrueY, kShoalTrueX, kShoalTrueY, kDeepTrueX, kDeepTrueY};
    return excluded;
}

void addDisplaySettings(KIVOSurfaceMetaData& metaData, const std::list<KIVODescriptor::AttribEntry>& attributes,
                        const std::set<NORVAUString>& skip, const NORVAUString& colourMap) {
    auto* xml = dynamic_cast<KIVOSurfaceXMLMetaData*>(&metaData);
    if (!xml) return;
    displayExcludedAttributes();
    xmlNodePtr root = xml->getXMLDocument().getRoot();
    if (!root) return;
    xmlNodePtr display = findOrAdd(root, kDisplayParameters);
    if (!display) return;
    for (const KIVODescriptor::AttribEntry& entry : attributes)
        if (!skipped(entry, skip)) addAttribute(display, entry.name, colourMap);
}

void removeDisplaySettings(KIVOSurfaceMetaData& metaData, const NORVAUString& name) {
    auto* xml = dynamic_cast<KIVOSurfaceXMLMetaData*>(&metaData);
    // An empty name would match the first block of any attribute.
    if (!xml || name.isEmpty()) return;
    xmlNodePtr root = xml->getXMLDocument().getRoot();
    xmlNodePtr display = root ? NORVAXMLDocument::getFirstChild(root, kDisplayParameters) : nullptr;
    xmlNodePtr element = display ? NORVAXMLDocument::getFirstChild(display, name) : nullptr;
    if (!element) return;
    xmlUnlinkNode(element);
    xmlFreeNode(element);
}

}  // namespace KIVOSurfaceUtils
