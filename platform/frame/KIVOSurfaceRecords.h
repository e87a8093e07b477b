#pragma once
// Records a surface's metadata carries beside its geometry: where its data
// came from (source record), what last processed it (process record) and
// the descriptive fields written when it was made.
#include <cfloat>
#include <map>
#include <utility>
#include <vector>

#include "platform/core/NORVAUString.h"

struct KIVOSourceItem {
    NORVAUString key;
    NORVAUString value;
    double number = 0.0;
    bool operator==(const KIVOSourceItem& o) const {
        return key == o.key && value == o.value && number == o.number;
    }
};

struct KIVOSourceRecord {
    std::vector<KIVOSourceItem> items;
    double firstTime = DBL_MAX;  // empty: the largest double ...
    double lastTime = -DBL_MAX;  // ... and its negative
    bool operator==(const KIVOSourceRecord& o) const {
        return items == o.items && firstTime == o.firstTime && lastTime == o.lastTime;
    }
};

struct KIVOProcessRecord {
    NORVAUString name;
    std::vector<std::pair<NORVAUString, NORVAUString>> pairs;
    bool operator==(const KIVOProcessRecord& o) const { return name == o.name && pairs == o.pairs; }
};

struct KIVODescriptiveFields {
    NORVAUString creationDate;  // "dd-MM-yyyy", GMT
    NORVAUString creationTime;  // "HH:mm:ss", GMT
    NORVAUString text1, text2, text3;
    NORVAUString comments;
    bool operator==(const KIVODescriptiveFields& o) const {
        return creationDate == o.creationDate && creationTime == o.creationTime && text1 == o.text1 &&
               text2 == o.text2 && text3 == o.text3 && comments == o.comments;
    }
};

// A range of the selector attribute (low, high) and the resolution of the
// member that serves it.
using KIVORangeEntry = std::pair<double, double>;
using KIVOResolutionTable = std::map<KIVORangeEntry, float>;
