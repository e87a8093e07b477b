#pragma once
// The user's named CUBE parameter sets, kept together in one XML file whose
// path comes from the configuration key "VARN_CUBE_PARAMETERS" or from the
// caller. The status word holds the outcome of the initial read; the factory
// stays usable with whatever sets it read.
#include "platform/core/KIVOExport.h"
#include <map>
#include <vector>

#include "cube/CUBEParameterConfiguration.h"
#include "platform/core/NORVAObject.h"
#include "platform/core/NORVAUString.h"

class KIVO_EXPORT CUBEParameterFactory : public NORVAObject {
public:
    using Configuration = CUBEParameterConfiguration;

    // Outcomes of reading the file beside the document's own statuses.
    static constexpr long kNoFileName = -1;
    static constexpr long kNoRoot = -2;
    static constexpr long kWrongRoot = -3;
    static constexpr long kNoVersion = -4;
    static constexpr long kEmptyVersion = -5;

    CUBEParameterFactory();
    explicit CUBEParameterFactory(const NORVAUString& file);

    // Writes every set; false, and still modified, when the file could not
    // be written.
    bool store();
    Configuration* get(const NORVAUString& name);
    bool set(const Configuration& configuration);
    bool add(const Configuration& configuration);
    bool remove(const NORVAUString& name);
    // Appends the names in name order.
    void getNames(std::vector<NORVAUString>& names) const;
    void setFileName(const NORVAUString& file) { m_fileName = file; }
    bool isModified() const { return m_modified; }

    void print(std::ostream& os) const override;

private:
    long init();
    void readSets(xmlNodePtr root, bool singleSet);

    std::map<NORVAUString, Configuration> m_configurations;
    NORVAUString m_fileName;
    bool m_modified = false;
};
