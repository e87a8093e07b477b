#include "platform/orbolink/ORBODataVector.h"

namespace ORBO_3_12_0_ {
namespace DataSet {

size_t dataTypeSize(int32_t type) {
    switch (type) {
    case DT_FLOAT32: return 4;
    case DT_UINT32: return 4;
    case DT_INT8: return 1;
    default: return 0;
    }
}

namespace DataVectorUtils {

std::shared_ptr<DataVectorND<2>> copySubsection(const DataVectorND<2>& source, const NORVAnBox<int64_t, 2>& window) {
    const NORVAnPoint<int64_t, 2>& lo = window.getMinimum();
    const NORVAnPoint<int64_t, 2>& hi = window.getMaximum();
    const NORVAnPoint<int64_t, 2>& extent = source.getDimensions();
    if (lo.x() < 0 || lo.y() < 0 || hi.x() > extent.x() || hi.y() > extent.y() || lo.x() >= hi.x() ||
        lo.y() >= hi.y())
        return nullptr;
    auto block = std::make_shared<DataVectorND<2>>(source.getType(), hi - lo);
    const size_t element = dataTypeSize(source.getType());
    const size_t rowBytes = static_cast<size_t>(hi.x() - lo.x()) * element;
    for (int64_t row = lo.y(); row < hi.y(); ++row) {
        const size_t from = (static_cast<size_t>(row) * static_cast<size_t>(extent.x()) + static_cast<size_t>(lo.x())) *
                            element;
        const size_t to = static_cast<size_t>(row - lo.y()) * rowBytes;
        if (rowBytes != 0) std::memcpy(block->bytes() + to, source.bytes() + from, rowBytes);
    }
    return block;
}

}  // namespace DataVectorUtils

}  // namespace DataSet
}  // namespace ORBO_3_12_0_
