#pragma once
// Where the ISO metadata schema of BAG files is read from.
#include <string>

// The folder named by "BAG_HOME" when it is set; otherwise the copy that
// holds `schemaFile` (a path inside the folder): the source tree's for code
// loaded from the build folder, else the one installed beside the library.
// Empty when there is none.
std::string bagSchemaFolder(const char* schemaFile);
