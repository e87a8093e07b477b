#include "formats/bag/BagErrors.h"

#include <cstdio>
#include <cstring>

namespace {

struct CodeText {
    bagError code;
    const char* text;
};

const CodeText kTexts[] = {
    {0, "Bag returned a successful completion"},
    {1, "Bad status with file IO operation"},
    {2, "Filename not found"},
    {3, "Failed to access Bag because of permissions"},
    {4, "Memory allocation failed"},
    {5, "Invalid or NULL bagHandle"},
    {6, "Invalid function argument or illegal value passed to Bag"},
    {200, "Crypto Signature is OK"},
    {201, "Crypto No signature was found"},
    {202, "Crypto Bad signature block"},
    {203, "Crypto Bad Key"},
    {204, "Crypto Wrong key"},
    {205, "Crypto General error was detected"},
    {206, "Crypto Internal error was detected"},
    {400, "The BAG_HOME environment variable must be set to the configdata directory of the BAG library "
          "distribution"},
    {401, "Metadata schema file(s) (*.xsd) was missing, they should be within configdata under smXML. Check "
          "BAG_HOME path"},
    {402, "Metadata exceeded memory limit during parsing"},
    {403, "Metadata parsing encountered an fatal exception"},
    {404, "Metadata parsing encountered a DOM (document object model) exception, impossible to complete "
          "operation"},
    {405, "Metadata parsing encountered an unknown error"},
    {406, "Metadata parsing failed, unable to parse input file"},
    {407, "Metadata parsing failed, unable to parse specified input buffer memory overflow"},
    {408, "Metadata XML validation failed"},
    {409, "Metadata Invalid (NULL) bagHandle supplied to an accessor method"},
    {410, "Metadata Initialization of the low level XML support system failed"},
    {411, "Metadata No projection information was found in the XML supplied"},
    {412, "Metadata supplied buffer is not large enough to hold the extracted contents from XML"},
    {413, "Metadata One or more elements of the requested coverage are missing from the XML file"},
    {414, "Metadata The number of dimensions is incorrect (not equal to %d)"},
    {415, "Metadata 'uncertaintyType' information is missing from the XML structure"},
    {416, "Metadata supplied buffer is too large to be stored in the internal array"},
    {602, "HDF Bag is not an HDF5 File"},
    {605, "HDF Bag's rank is incompatible with expected Rank of the Datasets: %d"},
    {606, "HDF Bag surface Datatype parameter not available"},
    {607, "HDF Dataspace for a bag surface is corrupted or could not be read"},
    {608, "HDF Failure in request for access outside the extents of a bag surface's Dataset"},
    {609, "HDF Cannot write NULL or uninitialized data to Dataset"},
    {610, "HDF There was an internal HDF error detected"},
    {611, "HDF Unable to create new HDF Bag File"},
    {612, "HDF Unable to create the Dataspace"},
    {613, "HDF Unable to create the Property class"},
    {614, "HDF Unable to set value of Property class"},
    {615, "HDF Failed to copy Datatype parameter for Dataset access"},
    {616, "HDF Unable to create the Dataset"},
    {617, "HDF Cannot extend Dataset extents"},
    {618, "HDF Unable to create Attribute"},
    {619, "HDF Unable to create Group"},
    {620, "HDF Failure writing to Dataset"},
    {621, "HDF Failure reading from Dataset"},
    {622, "HDF Failure closing Group"},
    {623, "HDF Failure closing File"},
    {624, "HDF Unable to open File"},
    {625, "HDF Unable to open Group"},
    {626, "HDF Unable to open Attribute"},
    {627, "HDF Failure closing Attribute"},
    {628, "HDF Failure closing Dataset"},
    {629, "HDF Unable to open Dataset"},
    {630, "HDF Unable to create Datatype"},
    {800, "Geotrans Datafile initialization error"},
    {801, "Geotrans Engine initialization error"},
    {802, "Geotrans IO initiatlization error"},
    {803, "Geotrans conversion error"},
};

const char kUndefined[] = "An undefined bagError code was encountered";

}  // namespace

bagError bagErrorText(bagError code, const char** text) {
    static char buffer[255];
    if (!text) return BAG_INVALID_FUNCTION_ARGUMENT;
    const char* found = nullptr;
    for (const CodeText& entry : kTexts)
        if (entry.code == code) found = entry.text;
    if (!found) {
        std::snprintf(buffer, sizeof buffer, "%s", kUndefined);
        *text = buffer;
        return BAG_UNDEFINED_ERROR;
    }
    // Two texts carry the expected dimension count or rank.
    if (code == BAG_METADTA_INVLID_DIMENSIONS || code == BAG_HDF_RANK_INCOMPATIBLE)
        std::snprintf(buffer, sizeof buffer, found, 2);
    else
        std::snprintf(buffer, sizeof buffer, "%s", found);
    *text = buffer;
    return BAG_SUCCESS;
}
