#pragma once
// The attributes of one node of a gridded surface. Reads and writes go
// straight to the node's record, so a change is a change of the surface.
// Numeric access converts like KIVOMemAttributeSet: integers are cut toward
// zero, and values the storage type cannot hold (or NaN) are refused with -1.
// The numeric accessors are inline and the class final: the builder reads
// and writes several values of a node for every sounding through it.
#include "platform/core/KIVOExport.h"
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

#include "platform/frame/KIVOAttributeSet.h"
#include "platform/frame/KIVOGriddedDataIO.h"

class KIVO_EXPORT KIVOGriddedAttributeSet final : public KIVOAttributeSet {
public:
    KIVOGriddedAttributeSet(KIVOGriddedDataIO& grid, uint64_t node) : m_grid(&grid), m_node(node) {}

    void setNode(uint64_t node) { m_node = node; }
    uint64_t getNode() const { return m_node; }
    KIVOGriddedDataIO& getGrid() const { return *m_grid; }

    long getValue(long index, unsigned char& v) const override { return getInteger(index, v); }
    long getValue(long index, NORVAUString& v) const override;
    long getValue(long index, long& v) const override { return getInteger(index, v); }
    long getValue(long index, unsigned long& v) const override { return getInteger(index, v); }
    long getValue(long index, short& v) const override { return getInteger(index, v); }
    long getValue(long index, unsigned short& v) const override { return getInteger(index, v); }
    long getValue(long index, double& v) const override { return m_grid->getNodeNumber(m_node, index, v); }
    long getValue(long index, float& v) const override {
        double d = 0.0;
        if (m_grid->getNodeNumber(m_node, index, d) != 0) return -1;
        if (std::isfinite(d) && std::fabs(d) > FLT_MAX) return -1;
        v = static_cast<float>(d);
        return 0;
    }

    long setValue(long index, const unsigned char& v) override { return setNumber(index, v); }
    long setValue(long index, const NORVAUString& v) override;
    long setValue(long index, const long& v) override { return setNumber(index, static_cast<double>(v)); }
    long setValue(long index, const unsigned long& v) override { return setNumber(index, static_cast<double>(v)); }
    long setValue(long index, const short& v) override { return setNumber(index, v); }
    long setValue(long index, const unsigned short& v) override { return setNumber(index, v); }
    long setValue(long index, const double& v) override { return setNumber(index, v); }
    long setValue(long index, const float& v) override { return setNumber(index, v); }

    long getStringValue(long index, NORVAUString& v, bool userFormat) const override;
    long getDoubleValue(long index, double& v, bool convert) const override {
        return m_grid->getNodeNumber(m_node, index, v);
    }
    // An in-memory copy: it no longer writes through.
    std::unique_ptr<KIVOAttributeSet> newCopy() const override;
    bool isSet(long index) const override { return m_grid->isNodeSet(m_node, index); }
    bool isEmpty() const override;
    // Clears every value of the node.
    bool reset() override;

private:
    template <class T>
    long getInteger(long index, T& v) const {
        double d = 0.0;
        if (m_grid->getNodeNumber(m_node, index, d) != 0 || std::isnan(d)) return -1;
        const double t = std::trunc(d);
        // The upper bound as a double may round up: compare with < on 2^bits.
        const double above = static_cast<double>(std::numeric_limits<T>::max()) + 1.0;
        if (t < static_cast<double>(std::numeric_limits<T>::lowest()) || t >= above) return -1;
        v = static_cast<T>(t);
        return 0;
    }
    long setNumber(long index, double v) { return m_grid->setNodeNumber(m_node, index, v); }

    KIVOGriddedDataIO* m_grid;
    uint64_t m_node;
};
