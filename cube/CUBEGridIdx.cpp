#include "cube/CUBEGridIdx.h"

#include <cfloat>

CUBEGridIdx::CUBEGridIdx()
    : row(kInvalid),
      column(kInvalid),
      colOffset(0),
      rowOffset(0),
      columns(0),
      rows(0),
      spacingX(0.0f),
      spacingY(0.0f),
      left(DBL_MAX),
      top(DBL_MAX) {}

CUBEGridIdx::CUBEGridIdx(uint16_t row_, uint16_t column_, uint32_t rowOffset_, uint32_t colOffset_, uint32_t rows_,
                         uint32_t columns_, double left_, double top_, float spacingX_, float spacingY_)
    : row(row_),
      column(column_),
      colOffset(colOffset_),
      rowOffset(rowOffset_),
      columns(columns_),
      rows(rows_),
      spacingX(spacingX_),
      spacingY(spacingY_),
      left(left_),
      top(top_) {}

bool CUBEGridIdx::getCover(NORVAnBox<double, 2>& box) const {
    if (!isValid()) return false;
    box = NORVAnBox<double, 2>(NORVAnPoint<double, 2>(left, top - rows * static_cast<double>(spacingY)),
                               NORVAnPoint<double, 2>(left + columns * static_cast<double>(spacingX), top));
    return true;
}

bool CUBEGridIdx::getCover(NORVAnBox<int64_t, 2>& box) const {
    if (!isValid()) return false;
    box = NORVAnBox<int64_t, 2>(NORVAnPoint<int64_t, 2>(colOffset, rowOffset),
                                NORVAnPoint<int64_t, 2>(static_cast<int64_t>(colOffset) + columns,
                                                        static_cast<int64_t>(rowOffset) + rows));
    return true;
}
