#pragma once
// Shared pieces of the PFM tests: a standard structure written by the fixture
// writer, and a snapshot of a folder to prove that reading changes nothing.
#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

#include "PFMFixtureWriter.h"
#include "TestSupport.h"
#include "platform/core/NORVAFileUtils.h"

namespace pfmtest {

// 10 x 5 bins of 10 m from (1000, 2000): the cover (1000..1100, 2000..2050)
// is a whole number of bins.
inline pfmfixture::Plan projectedPlan() {
    pfmfixture::Plan plan;
    plan.projected = true;
    plan.minX = 1000.0;
    plan.minY = 2000.0;
    plan.maxX = 1100.0;
    plan.maxY = 2050.0;
    plan.binSizeXY = 10.0;
    plan.width = 10;
    plan.height = 5;
    plan.minDepth = 0.0f;
    plan.maxDepth = 40.0f;
    pfmfixture::Bin a;
    a.count = 3;
    a.stdDev = 0.25;
    a.min = 10.5;
    a.max = 12.25;
    a.avg = 11.0;
    a.avgFiltered = a.minFiltered = a.maxFiltered = 11.0;
    a.validity = 0x21;
    a.head = 7;
    a.tail = 2147483648ULL;
    plan.bins[{0, 0}] = a;
    pfmfixture::Bin zero;  // soundings at depth 0
    zero.count = 2;
    plan.bins[{3, 2}] = zero;
    pfmfixture::Bin last;
    last.count = 1;
    last.min = last.max = last.avg = 30.0;
    plan.bins[{9, 4}] = last;
    pfmfixture::Bin edge;
    edge.count = 5;
    edge.min = 20.0;
    edge.max = 21.0;
    edge.avg = 20.5;
    plan.bins[{9, 0}] = edge;
    pfmfixture::Bin nextRow;
    nextRow.count = 4;
    nextRow.min = nextRow.max = nextRow.avg = 5.0;
    plan.bins[{0, 1}] = nextRow;
    return plan;
}

// A geographic structure: 8 x 4 bins of 0.001 degrees from (-70.5, 42.25).
inline pfmfixture::Plan geographicPlan() {
    pfmfixture::Plan plan;
    plan.projected = false;
    plan.minX = -70.5;
    plan.minY = 42.25;
    plan.xBinSize = 0.001;
    plan.yBinSize = 0.001;
    plan.width = 8;
    plan.height = 4;
    plan.maxX = plan.minX + 8 * 0.001;
    plan.maxY = plan.minY + 4 * 0.001;
    plan.binSizeXY = 0.0;
    pfmfixture::Bin b;
    b.count = 9;
    b.min = 1.0;
    b.max = 3.0;
    b.avg = 2.0;
    plan.bins[{2, 1}] = b;
    return plan;
}

// Every regular file below a folder with its content.
inline void snapshot(const std::string& folder, std::map<std::string, std::string>& files) {
    std::vector<NORVAUString> names;
    NORVAFileUtils::listDirectory(NORVAUString(folder), names);
    for (const auto& n : names) {
        const std::string path = folder + "/" + n.toUTF8();
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode))
            snapshot(path, files);
        else
            files[path] = testsupport::readFile(path);
    }
}

}  // namespace pfmtest
