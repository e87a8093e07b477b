#pragma once
// Conversion between user coordinates (doubles) and disk units (signed 32-bit
// integers): disk = round((user - offset) / scale) per axis. Mode 1 means
// positions are kept on the disk-unit grid; mode 0 means they are kept as
// doubles and the scaler only describes a resolution.
#include "platform/core/KIVOExport.h"
#include <cstdint>

#include "platform/core/NORVAUString.h"

class KIVO_EXPORT NORVAScaler {
public:
    enum Mode { FLOATING = 0, FIXED = 1 };
    enum Status : long { SCALER_OK = 0, SCALER_OUT_OF_RANGE = -1, SCALER_BAD_VALUE = -2 };

    // Offsets 0 and scales 1, floating mode.
    NORVAScaler() = default;
    // One step for x, y and z with offsets 0, fixed mode.
    explicit NORVAScaler(double step);
    // Offsets and scales per axis, fixed mode.
    NORVAScaler(double offsetX, double offsetY, double offsetZ, double scaleX, double scaleY, double scaleZ);

    double getOffset(int axis) const { return m_offset[clampAxis(axis)]; }
    double getScale(int axis) const { return m_scale[clampAxis(axis)]; }
    // The horizontal step (the x scale).
    double getUnit() const { return m_scale[0]; }
    double getVerticalUnit() const { return m_scale[2]; }
    int getMode() const { return m_mode; }
    void setMode(int mode) { m_mode = mode; }
    // A scale must be finite and positive, offsets finite.
    bool isValid() const;

    // SCALER_OUT_OF_RANGE when a value does not fit in 32 bits (outputs unchanged).
    long userToDisk(double x, double y, double z, int32_t& dx, int32_t& dy, int32_t& dz) const;
    void diskToUser(int32_t dx, int32_t dy, int32_t dz, double& x, double& y, double& z) const;
    // Moves (x, y) to the nearest disk-unit position.
    long snap(double& x, double& y) const;

    // "mode offsetX offsetY offsetZ scaleX scaleY scaleZ", each number exact.
    NORVAUString toString() const;
    static bool fromString(const NORVAUString& text, NORVAScaler& out);

    bool operator==(const NORVAScaler& o) const;
    bool operator!=(const NORVAScaler& o) const { return !(*this == o); }

private:
    static int clampAxis(int axis) { return axis < 0 ? 0 : (axis > 2 ? 2 : axis); }
    bool toDisk(double v, int axis, int32_t& out) const;

    int m_mode = FLOATING;
    double m_offset[3] = {0.0, 0.0, 0.0};
    double m_scale[3] = {1.0, 1.0, 1.0};
};
