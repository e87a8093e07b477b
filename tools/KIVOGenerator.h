#pragma once
// Builds a new gridded or compound surface from soundings, or updates or
// removes data sources of an existing gridded surface: it decides the
// attribute layout, writes the metadata, creates the output surface, asks
// its factory for a field generator and runs the surface generator. The
// library's own factory knows only the replace weighting; other weightings
// need a subclass that overrides `createFieldGenerator`.
//
// The sounding iterator, coordinate system and cover are held by reference
// and must outlive the generator.
#include <cstdint>
#include <list>
#include <memory>
#include <vector>

#include "core/KIVOFieldGenerator.h"
#include "core/KIVOSurface.h"
#include "platform/core/KIVOExport.h"
#include "platform/core/NORVAObject.h"
#include "platform/core/NORVAType.h"
#include "platform/frame/KIVODescriptor.h"
#include "platform/frame/KIVOMetaBlock.h"
#include "platform/frame/KIVOPointIter.h"
#include "platform/frame/KIVOSurfaceRecords.h"

class NORVACoordSystem;
class NORVACover;
class NORVAErrorLog;
class NORVAProgress;
class KIVOSurfaceMetaData;
class KIVOSurfaceXMLMetaData;
class KIVOTransformedPointIter;

class KIVO_EXPORT KIVOGenerator : public NORVAObject {
public:
    // What became of the soundings of the last `generate`. Only the
    // library's own replace field generator tells where its soundings went;
    // with another one every sounding handed to it counts as placed.
    struct SoundingCounts {
        long given = 0;           // soundings the iterator served
        long placed = 0;          // reached a node
        long notTransformed = 0;  // position not transformable into the output's coordinate system
        long outside = 0;         // beyond the surface's extent
        long noDepth = 0;         // no readable depth or position
        long lost = 0;            // within the surface's extent, yet no node took them
    };

    enum OperationType : int32_t { NEW_SURFACE = 0, UPDATE_SURFACE = 1, REMOVE_FROM_SURFACE = 2 };
    enum WeightingType : int32_t { UNCERTAINTY_WEIGHTING = 0, WEIGHTING_1 = 1, WEIGHTING_2 = 2, REPLACE = 3 };
    enum ReplaceType : int32_t { ALL = 0, LT = 1, GT = 2, EQUAL = 3, LT_EQ = 4, GT_EQ = 5 };

    static constexpr long kSourceNotFound = 146060;
    static constexpr long kSoundingsLost = 146061;     // soundings within the surface reached no node
    static constexpr long kNoSoundingPlaced = 146062;  // no sounding reached the surface, or none was given
    static constexpr long kNoFieldGenerator = 146070;
    static constexpr long kNoMetaData = -1;
    static constexpr long kNoName = -1;  // no output name was set

    KIVOGenerator(KIVOPointIter& soundings, const NORVACoordSystem& coordSystem, const NORVACover& cover,
                  const NORVAUString& depthName, const NORVAUString& depthUnitKey, const NORVAUString& third);
    ~KIVOGenerator() override;

    void setName(const NORVAUString& name) { m_name = name; }
    void setOperationType(const OperationType& type) { m_operation = type; }
    void setWeightingMethod(const WeightingType& type) { m_weighting = type; }
    void setReplaceType(const ReplaceType& type) { m_replaceType = type; }
    void setColourMapName(const NORVAUString& name) { m_colourMap = name; }
    void setComments(const NORVAUString& comments) { m_comments = comments; }
    void setIncTruePos(const bool& include) { m_incTruePos = include; }
    void setIncShoalAttrib(bool include, const bool& includeTruePos);
    void setIncDeepAttrib(bool include, const bool& includeTruePos);
    void setIncDensityAttrib(bool include) { m_incDensity = include; }
    void setIncMeanAttrib(bool include) { m_incMean = include; }
    void setIncStdDevAttrib(bool include) { m_incStdDev = include; }
    void setIHOMaximum(double fixed, double percent);
    void setMetaBlocks(const std::vector<KIVOMetaBlock>& blocks) { m_metaBlocks = blocks; }
    // Blanks become underscores.
    void setDataSourceType(const NORVAUString& type);
    void setDataSources(const std::vector<NORVAUString>& sources, bool flag1, bool flag2, bool flag3);
    // Empties the resolution table: the output is gridded.
    void setResolution(double resolution);
    // A non-empty table makes the output a compound surface and the
    // resolution 0.0.
    void setResolutionTable(const KIVOResolutionTable& table);

    // The surface of the last `generate`, still owned by the generator.
    KIVOSurface* getSurface() const { return m_surface.get(); }
    // The attribute layout a new surface gets with the current settings.
    std::list<KIVODescriptor::AttribEntry> buildAttributeList() const;

    // s1 to s3 fill the metadata's text fields 2, 3 and 1. The monitor and
    // the error log are not used. Soundings the iterator gives in another
    // coordinate system than the generator's are transformed into it first.
    // Soundings left out are counted (`getSoundingCounts`), and each kind
    // left out (not transformed, no depth, beyond the surface, no node) is
    // reported on standard output with its count. Soundings within the
    // surface that reached no node end the run with kSoundingsLost after the
    // surface is stored. A new or updated surface that no sounding reached
    // (none given included) is not stored: the run ends with
    // kNoSoundingPlaced and a surface already on disk under the name stays
    // as it was. "Remove from" stores its source record in any case, and
    // ends with kNoSoundingPlaced when soundings were given and none reached
    // the surface.
    long generate(const NORVAUString& s1, const NORVAUString& s2, const NORVAUString& s3, NORVAProgress* progress,
                  NORVAErrorLog* errorLog);

    bool includesHorizontalUncertainty() const { return m_incHorizontalUncertainty; }
    bool includesTime() const { return m_incTime; }
    const NORVAUString& getDataSourceType() const { return m_dataSourceType; }
    double getResolution() const { return m_resolution; }
    const KIVOResolutionTable& getResolutionTable() const { return m_resolutionTable; }
    const SoundingCounts& getSoundingCounts() const { return m_counts; }

protected:
    // An empty handle means there is no field generator for the weighting.
    virtual NORVAType<KIVOFieldGenerator> createFieldGenerator(KIVOSurface& surface, bool recordOperator);

    KIVOPointIter& getSoundings() const { return m_soundings; }

private:
    long createMetaData(const NORVAUString& metaPath, const NORVAUString& s1, const NORVAUString& s2,
                        const NORVAUString& s3, NORVAType<KIVOSurfaceXMLMetaData>& meta);
    long describe(KIVOSurfaceXMLMetaData& meta, const NORVAUString& s1, const NORVAUString& s2,
                  const NORVAUString& s3) const;
    void includeExisting(const KIVOSurfaceMetaData& meta);
    long editSources(KIVOSurfaceMetaData& meta) const;
    void addAdditionalAttributes(std::list<KIVODescriptor::AttribEntry>& list) const;
    long build(NORVAType<KIVOSurfaceDataIO> dataIO);
    long runSoundings(KIVOFieldGenerator& fieldGenerator);
    void tally(const KIVOFieldGenerator& fieldGenerator, const KIVOTransformedPointIter* transformed, long handed);
    bool placesNothing() const;
    long reportCounts(long status);

    bool m_sourceFlags[3] = {true, true, true};
    OperationType m_operation = NEW_SURFACE;
    WeightingType m_weighting = WEIGHTING_2;
    double m_resolution = 0.0;
    KIVOResolutionTable m_resolutionTable;
    KIVOPointIter& m_soundings;
    bool m_incDeep = false, m_incShoal = false, m_incStdDev = false, m_incMean = false, m_incDensity = false,
         m_incTruePos = false, m_incDeepTruePos = false, m_incShoalTruePos = false;
    bool m_incHorizontalUncertainty = false;
    bool m_incTime = false;
    double m_ihoMaximum[2] = {0.25, 0.007};
    NORVAUString m_name;
    NORVAUString m_depthName;
    NORVAUString m_depthUnitKey;
    NORVAUString m_third;
    NORVAUString m_comments;
    NORVAUString m_colourMap;
    std::unique_ptr<KIVOSurface> m_surface;
    std::vector<NORVAUString> m_dataSources;
    const NORVACoordSystem& m_coordSystem;
    const NORVACover& m_cover;
    ReplaceType m_replaceType = ALL;
    NORVAUString m_dataSourceType;
    std::vector<KIVOMetaBlock> m_metaBlocks;
    SoundingCounts m_counts;
};
