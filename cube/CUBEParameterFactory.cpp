#include "cube/CUBEParameterFactory.h"

#include <ostream>

#include "core/NodeAttributeNames.h"
#include "platform/core/NORVAEnvironment.h"
#include "platform/core/NORVAXMLDocument.h"

namespace {
const char* const kRootName = "NORVA_CUBE_Parameters";
const char* const kSetName = "ParameterSet";
const char* const kVersionKey = "version";
const char* const kSingleSetVersion = "1.0";
const char* const kWrittenVersion = "2.0";
}  // namespace

CUBEParameterFactory::CUBEParameterFactory() : m_fileName(NORVAEnvironment::getVar("VARN_CUBE_PARAMETERS")) {
    m_status = init();
}

CUBEParameterFactory::CUBEParameterFactory(const NORVAUString& file) : m_fileName(file) { m_status = init(); }

long CUBEParameterFactory::init() {
    if (m_fileName.isEmpty()) return kNoFileName;
    NORVAXMLDocument document;
    const long status = document.load(m_fileName);
    if (status != 0) return status;
    xmlNodePtr root = document.getRoot();
    if (root == nullptr) return kNoRoot;
    if (NORVAXMLDocument::getName(root) != NORVAUString(kRootName)) return kWrongRoot;
    NORVAUString version;
    if (NORVAXMLDocument::getAttribute(root, kVersionKey, version) != 0) return kNoVersion;
    if (version.isEmpty()) return kEmptyVersion;
    readSets(root, version == NORVAUString(kSingleSetVersion));
    return 0;
}

// The oldest files are one set held by the root itself; later ones hold a
// set element per configuration, the first of a name winning.
void CUBEParameterFactory::readSets(xmlNodePtr root, bool singleSet) {
    if (singleSet) {
        Configuration configuration;
        configuration.load(*root);
        m_configurations.emplace(configuration.getName(), configuration);
        return;
    }
    for (xmlNodePtr node : NORVAXMLDocument::getChildren(root, kSetName)) {
        Configuration configuration;
        configuration.load(*node);
        m_configurations.emplace(configuration.getName(), configuration);
    }
}

bool CUBEParameterFactory::store() {
    if (m_fileName.isEmpty()) return false;
    NORVAXMLDocument document(kRootName);
    xmlNodePtr root = document.getRoot();
    if (document.getStatus() != 0 || root == nullptr) return false;
    bool ok = NORVAXMLDocument::setAttribute(root, kVersionKey, kWrittenVersion) == 0;
    for (const auto& item : m_configurations) {
        xmlNodePtr node = NORVAXMLDocument::addChild(root, kSetName);
        ok = node != nullptr && item.second.save(*node) && ok;
    }
    if (!ok || document.save(m_fileName) != 0) return false;
    m_modified = false;
    return true;
}

CUBEParameterFactory::Configuration* CUBEParameterFactory::get(const NORVAUString& name) {
    auto found = m_configurations.find(name);
    return found == m_configurations.end() ? nullptr : &found->second;
}

bool CUBEParameterFactory::set(const Configuration& configuration) {
    Configuration* stored = get(configuration.getName());
    if (stored == nullptr) return false;
    stored->assign(configuration);
    m_modified = true;
    return true;
}

bool CUBEParameterFactory::add(const Configuration& configuration) {
    if (!m_configurations.emplace(configuration.getName(), configuration).second) return false;
    m_modified = true;
    return true;
}

bool CUBEParameterFactory::remove(const NORVAUString& name) {
    if (m_configurations.erase(name) == 0) return false;
    m_modified = true;
    return true;
}

void CUBEParameterFactory::getNames(std::vector<NORVAUString>& names) const {
    for (const auto& item : m_configurations) names.push_back(item.first);
}

void CUBEParameterFactory::print(std::ostream& os) const {
    os << "CUBEParameterFactory(" << m_fileName << ", " << m_configurations.size() << " sets, status "
       << m_status << ")";
}
