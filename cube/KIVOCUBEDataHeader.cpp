#include "cube/KIVOCUBEDataHeader.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ostream>

#include "cube/CUBEUtils.h"
#include "cube/CUBEFileMagic.h"
#include "cube_engine/cube_grid.h"
#include "cube_engine/cube_stream.h"
#include "platform/core/NORVAByteIO.h"

namespace {

const auto& kMagic = CUBEFileMagic::kSurface;

const char* boolText(bool value) { return value ? "true" : "false"; }

bool isFiniteValue(double v) { return std::isfinite(v); }

// Nodes along one axis: whole nodes over the extent, plus one when the
// extent's fraction of a node rounds up, plus the node at the start.
bool nodesAlong(double extent, double inverse, uint32_t& nodes) {
    const double q = extent * inverse;
    if (!(q >= 0.0) || q >= 2147483647.0) return false;
    const double t = std::trunc(q);
    const double r = std::trunc(q + 0.5);
    nodes = static_cast<uint32_t>(t) + (r > t ? 2u : 1u);
    return true;
}

// The stored node count must match what the extent spans.
bool spans(double low, double high, double resolution, uint32_t nodes) {
    if (!isFiniteValue(low) || !isFiniteValue(high) || !(high > low) || nodes == 0) return false;
    return std::fabs((high - low) / resolution - static_cast<double>(nodes)) <= 0.5;
}

}  // namespace

KIVOCUBEDataHeader::KIVOCUBEDataHeader(const NORVAArray<double>& minimum, const NORVAArray<double>& maximum,
                                       float resolution, _cube_param* parameters)
    : m_minimum(minimum), m_maximum(maximum), m_resolution(resolution), m_params(parameters) {
    m_minimum.resize(2, DBL_MAX);
    m_maximum.resize(2, -DBL_MAX);
    m_status = m_params == nullptr ? kNoMemory : computeNodeCounts();
    if (m_status != 0) return;
    m_maximum[0] = m_minimum[0] + m_numXPixels * static_cast<double>(m_resolution);
    m_minimum[1] = m_maximum[1] - m_numYPixels * static_cast<double>(m_resolution);
    const uint64_t budget = static_cast<uint64_t>(memoryBudgetMB()) << 20;
    m_gridSize = cube_grid_max_tile_dim(budget, kHypothesesPerNode, kUseFraction, m_params);
    if (m_gridSize == 0) {
        m_status = kNoMemory;
        return;
    }
    m_numGrids = m_gridSize * m_gridSize;
    computeGridCounts();
    if (m_gridsAcross > kMaxGrids || m_gridsDown > kMaxGrids) {
        m_status = kBadHeader;
        return;
    }
    printParameters();
}

KIVOCUBEDataHeader::KIVOCUBEDataHeader(FILE* file) : m_minimum(2, DBL_MAX), m_maximum(2, -DBL_MAX) {
    m_status = read(file);
    if (m_status != 0) {
        printf("CUBE Data Header: read() failed.\n");
        return;
    }
    computeGridCounts();
}

KIVOCUBEDataHeader::KIVOCUBEDataHeader(const KIVOCUBEDataHeader& o) : NORVAObject(o) { *this = o; }

KIVOCUBEDataHeader& KIVOCUBEDataHeader::operator=(const KIVOCUBEDataHeader& o) {
    if (this == &o) return *this;
    _cube_param* copy = nullptr;
    if (o.m_params != nullptr) {
        copy = static_cast<_cube_param*>(std::malloc(sizeof(_cube_param)));
        if (copy != nullptr) std::memcpy(copy, o.m_params, sizeof(_cube_param));
    }
    std::free(m_params);
    NORVAObject::operator=(o);
    m_version = o.m_version;
    m_reserved = o.m_reserved;
    m_minimum = o.m_minimum;
    m_maximum = o.m_maximum;
    m_resolution = o.m_resolution;
    m_gridSize = o.m_gridSize;
    m_numGrids = o.m_numGrids;
    m_gridsAcross = o.m_gridsAcross;
    m_gridsDown = o.m_gridsDown;
    m_numXPixels = o.m_numXPixels;
    m_numYPixels = o.m_numYPixels;
    m_params = copy;
    if (o.m_params != nullptr && copy == nullptr) m_status = kNoMemory;
    return *this;
}

KIVOCUBEDataHeader::~KIVOCUBEDataHeader() { std::free(m_params); }

uint32_t KIVOCUBEDataHeader::memoryBudgetMB() {
    const char* text = std::getenv("CUBE_MEMORY_LIMIT");
    if (text == nullptr) return kDefaultBudgetMB;
    const long long value = std::strtoll(text, nullptr, 10);
    const int shown = value > INT32_MAX ? INT32_MAX : (value < INT32_MIN ? INT32_MIN : static_cast<int>(value));
    printf("User supplied memory limit for CUBE: %dMB\n", shown);
    if (value < static_cast<long long>(kDefaultBudgetMB)) return kDefaultBudgetMB;
    if (value > static_cast<long long>(kMaxBudgetMB)) return kMaxBudgetMB;
    return static_cast<uint32_t>(value);
}

uint32_t KIVOCUBEDataHeader::largestTileSide(const _cube_param* parameters) {
    return cube_grid_max_tile_dim(static_cast<uint64_t>(kMaxBudgetMB) << 20, kHypothesesPerNode, kUseFraction,
                                  parameters);
}

long KIVOCUBEDataHeader::computeNodeCounts() {
    const double resolution = m_resolution;
    if (!isFiniteValue(resolution) || !(resolution > 0.0)) return kBadHeader;
    for (int axis = 0; axis < 2; ++axis)
        if (!isFiniteValue(m_minimum[axis]) || !isFiniteValue(m_maximum[axis])) return kBadHeader;
    const double inverse = 1.0 / resolution;
    if (!nodesAlong(m_maximum[1] - m_minimum[1], inverse, m_numYPixels)) return kBadHeader;
    if (!nodesAlong(m_maximum[0] - m_minimum[0], inverse, m_numXPixels)) return kBadHeader;
    return 0;
}

void KIVOCUBEDataHeader::computeGridCounts() {
    m_gridsAcross = m_numXPixels / m_gridSize + 1;
    m_gridsDown = m_numYPixels / m_gridSize + 1;
}

long KIVOCUBEDataHeader::store(FILE* file) const {
    using namespace NORVAByteIO;
    if (file == nullptr) return kNoStream;
    if (std::fseek(file, 0, SEEK_SET) != 0) return kSeekFailed;
    bool ok = writeBytes(file, kMagic, sizeof kMagic) && writeU16(file, m_version) && writeU16(file, m_reserved);
    for (int axis = 0; ok && axis < 2; ++axis) ok = writeF64(file, m_minimum[axis]);
    for (int axis = 0; ok && axis < 2; ++axis) ok = writeF64(file, m_maximum[axis]);
    ok = ok && writeF32(file, m_resolution) && writeU32(file, m_gridSize) && writeU32(file, m_numXPixels) &&
         writeU32(file, m_numYPixels);
    if (!ok || m_params == nullptr) return kWriteFailed;
    cube_stream stream;
    cube_stream_file(&stream, file);
    return cube_write_params(m_params, &stream) == 1 ? 0 : kWriteFailed;
}

long KIVOCUBEDataHeader::read(FILE* file) {
    if (file == nullptr) return kNoStream;
    long status = readFields(file);
    if (status == 0) status = validate();
    if (status == 0) status = readParameters(file);
    return status;
}

long KIVOCUBEDataHeader::readFields(FILE* file) {
    using namespace NORVAByteIO;
    uint8_t magic[sizeof kMagic];
    if (!readBytes(file, magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof kMagic) != 0) return kBadHeader;
    if (!readU16(file, m_version)) return kBadHeader;
    if (m_version > kVersion) return kBadVersion;
    if (!readU16(file, m_reserved)) return kBadHeader;
    if (m_reserved != 0) return kBadReservedWord;
    double corner[4];
    for (double& value : corner)
        if (!readF64(file, value)) return kBadHeader;
    m_minimum[0] = corner[0];
    m_minimum[1] = corner[1];
    m_maximum[0] = corner[2];
    m_maximum[1] = corner[3];
    if (!readF32(file, m_resolution) || !readU32(file, m_gridSize) || !readU32(file, m_numXPixels) ||
        !readU32(file, m_numYPixels))
        return kBadHeader;
    return 0;
}

// Stored values are untrusted: the grid keys, the node lookups and every
// division by the tile size rely on them.
long KIVOCUBEDataHeader::validate() const {
    const double resolution = m_resolution;
    if (!isFiniteValue(resolution) || !(resolution > 0.0) || m_gridSize == 0) return kBadHeader;
    // In 64 bits: 4294967295 nodes in tiles of 1 would wrap the count to 0.
    if (uint64_t(m_numXPixels) / m_gridSize + 1 > kMaxGrids || uint64_t(m_numYPixels) / m_gridSize + 1 > kMaxGrids)
        return kBadHeader;
    if (!spans(m_minimum[0], m_maximum[0], resolution, m_numXPixels)) return kBadHeader;
    if (!spans(m_minimum[1], m_maximum[1], resolution, m_numYPixels)) return kBadHeader;
    return 0;
}

long KIVOCUBEDataHeader::readParameters(FILE* file) {
    m_params = CUBEUtils::readStoredParams(file);
    if (m_params == nullptr) {
        printf("Unable to read the CUBE parameters from the CUBE header file.  Memory allocation failed.\n");
        return kNoMemory;
    }
    return 0;
}

long KIVOCUBEDataHeader::print(FILE* file) const {
    if (file == nullptr) {
        printf("**** CUBE Data IO header information ******\n");
        printf("gridSize = %d\n", static_cast<int>(m_gridSize));
        printf("numGrids = %d\n", static_cast<int>(m_numGrids));
        printf("numXPixels = %d\n", static_cast<int>(m_gridsAcross));
        printf("numYPixels = %d\n", static_cast<int>(m_gridsDown));
        printf("resolution = %f\n\n", static_cast<double>(m_resolution));
        return 0;
    }
    fprintf(file, "\n");
    fprintf(file, "m_gridSize = %d\n", static_cast<int>(m_gridSize));
    fprintf(file, "m_numGrids = %d\n", static_cast<int>(m_numGrids));
    fprintf(file, "m_numXPixels = %d\n", static_cast<int>(m_gridsAcross));
    fprintf(file, "m_numYPixels = %d\n", static_cast<int>(m_gridsDown));
    fprintf(file, "m_resolution = %f\n", static_cast<double>(m_resolution));
    return 0;
}

void KIVOCUBEDataHeader::print(std::ostream& os) const {
    os << "KIVOCUBEDataHeader(tile " << m_gridSize << ", grids " << m_gridsAcross << " x " << m_gridsDown
       << ", nodes " << m_numXPixels << " x " << m_numYPixels << ", resolution " << m_resolution << ")";
}

void KIVOCUBEDataHeader::printParameters() const {
    const _cube_param* p = m_params;
    printf("Dumping CUBE Parameters:\n");
    printf("Initialized: %s\n", boolText(p != nullptr && p->reserved0 != 0));
    if (p == nullptr) return;
    printf("No data value: %f\n", static_cast<double>(p->no_data_value));
    printf("Disambiguation method: %d\n", static_cast<int>(p->mthd));
    printf("Null depth: %f\n", p->null_depth);
    printf("Null variance: %f\n", p->null_variance);
    printf("Distance exponent: %f\n", p->dist_exp);
    printf("Inverse distance exponent: %f\n", p->inv_dist_exp);
    printf("Distance scale: %f\n", p->dist_scale);
    printf("Variance Scale: %f\n", p->var_scale);
    printf("IHO Fixed: %f\n", p->iho_fixed);
    printf("IHO Percent: %f\n", p->iho_pcent);
    printf("Median Length: %d\n", static_cast<int>(p->median_length));
    printf("Quotient limit: %f\n", static_cast<double>(p->quotient_limit));
    printf("Discount factor: %f\n", static_cast<double>(p->discount));
    printf("Estimate offset: %f\n", static_cast<double>(p->est_offset));
    printf("Bayes Factor Threshold: %f\n", static_cast<double>(p->bayes_fac_t));
    printf("Runlegth threshold: %f\n", static_cast<double>(p->runlength_t));
    printf("Minimum context: %f\n", static_cast<double>(p->min_context));
    printf("Maximum context: %f\n", static_cast<double>(p->max_context));
    printf("Std Dev to CI scale: %f\n", static_cast<double>(p->sd2conf_scale));
    printf("Minimum blunder: %f\n", static_cast<double>(p->blunder_min));
    printf("Blunder percent: %f\n", static_cast<double>(p->blunder_pcent));
    printf("Blunder scalar: %f\n", static_cast<double>(p->blunder_scalar));
    printf("Capture distance scale: %f\n", static_cast<double>(p->capture_dist_scale));
    printf("Density Strengh cutoff: %f\n", static_cast<double>(p->density_strength_cutoff));
    printf("Locale strength max: %f\n", static_cast<double>(p->locale_strength_max));
    printf("Null Hyp: Minimum num neighbours: %d\n", static_cast<int>(p->nh_min_neighbours));
    printf("Null Hyp: Neighbour ratio: %f\n", static_cast<double>(p->nh_ratio));
    printf("Horizontal Error scaler: %f\n", static_cast<double>(p->horiz_error_scalar));
    printf("Capture distance minimum: %f\n", static_cast<double>(p->capture_dist_min));
    printf("Local radius: %d\n", static_cast<int>(p->locale_radius));
    printf("Distance exponent: %s\n", boolText(p->enable_null_hypothesis != 0));
    printf("Null Hyp: Max strength: %f\n", static_cast<double>(p->nh_strength_max));
}
