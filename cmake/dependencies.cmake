# Libraries used by single folders. Each folder's issue adds its own lines here.
# The shared library links them privately: no public header needs them, so a
# program using the library does not link them itself.

# SQLite: the points files of the tile store (platform/kestrin).
find_package(SQLite3 REQUIRED)
target_link_libraries(kivo_platform PUBLIC SQLite::SQLite3)
target_link_libraries(kivo PRIVATE SQLite::SQLite3)

# BAG files: HDF5 container (current API only) and Xerces-C for the ISO metadata.
find_package(HDF5 REQUIRED COMPONENTS C)
find_package(XercesC REQUIRED)
find_package(ZLIB REQUIRED)
# Deprecated HDF5 symbols are hidden where the headers allow it; an HDF5 built
# with an older default API (Debian's) refuses that, and the BAG sources then
# poison the deprecated names themselves (formats/bag/BagHDF5.h).
include(CheckCSourceCompiles)
set(CMAKE_REQUIRED_INCLUDES ${HDF5_C_INCLUDE_DIRS})
set(CMAKE_REQUIRED_DEFINITIONS -DH5_NO_DEPRECATED_SYMBOLS)
check_c_source_compiles("#include <hdf5.h>\nint main(void) { return 0; }" KIVO_HDF5_NO_DEPRECATED)
unset(CMAKE_REQUIRED_INCLUDES)
unset(CMAKE_REQUIRED_DEFINITIONS)
target_link_libraries(kivo PRIVATE ${HDF5_C_LIBRARIES} XercesC::XercesC ZLIB::ZLIB)
if(TARGET kivo_formats)
  if(KIVO_HDF5_NO_DEPRECATED)
    target_compile_definitions(kivo_formats PRIVATE H5_NO_DEPRECATED_SYMBOLS)
  endif()
  target_include_directories(kivo_formats PUBLIC ${HDF5_C_INCLUDE_DIRS})
  target_link_libraries(kivo_formats PUBLIC ${HDF5_C_LIBRARIES} XercesC::XercesC ZLIB::ZLIB)
  # The BAG schema folder when "BAG_HOME" is not set: the source tree's for
  # code run from the build folder, else the copy installed beside the library.
  file(RELATIVE_PATH kivo_schema_from_lib ${CMAKE_INSTALL_FULL_LIBDIR} ${CMAKE_INSTALL_FULL_DATADIR}/kivo/bag)
  set_property(SOURCE ${PROJECT_SOURCE_DIR}/formats/bag/BagSchemaFolder.cpp TARGET_DIRECTORY kivo_formats
               APPEND PROPERTY COMPILE_DEFINITIONS
               KIVO_BAG_SCHEMA_FROM_LIBRARY="${kivo_schema_from_lib}"
               KIVO_BAG_SCHEMA_SOURCE="${PROJECT_SOURCE_DIR}/formats/bag/schema"
               KIVO_BUILD_FOLDER="${PROJECT_BINARY_DIR}")
endif()
