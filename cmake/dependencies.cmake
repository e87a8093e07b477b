# Libraries used by single folders. Each folder's issue adds its own lines here.

# SQLite: the points files of the tile store (platform/kestrin).
find_package(SQLite3 REQUIRED)
target_link_libraries(kivo_platform PUBLIC SQLite::SQLite3)
target_link_libraries(kivo PUBLIC SQLite::SQLite3)
