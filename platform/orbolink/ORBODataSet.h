#pragma once
#include "platform/core/KIVOExport.h"
// The least of the suite's data-set layer (OrboLink) that the library needs:
// a band set is the polymorphic root of the rasters the layer hands around.
namespace ORBO_3_12_0_ {
namespace DataSet {

class KIVO_EXPORT GeoBandSet {
public:
    GeoBandSet() = default;
    GeoBandSet(const GeoBandSet&) = default;
    GeoBandSet& operator=(const GeoBandSet&) = default;
    virtual ~GeoBandSet();
};

}  // namespace DataSet
}  // namespace ORBO_3_12_0_
