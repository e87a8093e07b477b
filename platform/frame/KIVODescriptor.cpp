#include "platform/frame/KIVODescriptor.h"

void KIVODescriptor::AttribEntry::clear() {
    name = NORVAUString();
    type = KIVODataType::DOUBLE;
    modName = NORVAUString();
    modIndex = -1;
    offset = 0;
    length = 0;
    trueXName = NORVAUString();
    trueXIndex = -1;
    trueYName = NORVAUString();
    trueYIndex = -1;
    unitKey = NORVAUString();
    unitDirection = NORVAUString();
    kind = 0;
    extra = NORVAUString();
}

bool KIVODescriptor::AttribEntry::operator==(const AttribEntry& o) const {
    return name == o.name && type == o.type && modName == o.modName && modIndex == o.modIndex &&
           offset == o.offset && length == o.length && trueXName == o.trueXName && trueXIndex == o.trueXIndex &&
           trueYName == o.trueYName && trueYIndex == o.trueYIndex && unitKey == o.unitKey &&
           unitDirection == o.unitDirection && kind == o.kind && extra == o.extra;
}

std::vector<KIVODescriptor::AttribEntry> KIVODescriptor::getAttributeEntries() const {
    std::vector<AttribEntry> entries;
    long n = getNumberOfAttributes();
    for (long i = 0; i < n; ++i) entries.push_back(getAttributeEntry(i));
    return entries;
}

const NORVAUString& KIVODescriptor::emptyString() {
    static const NORVAUString empty;
    return empty;
}
