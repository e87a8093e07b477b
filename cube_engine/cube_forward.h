// The engine structures that the library's public classes hand around, by
// pointer only. A program using the library works with them through those
// classes: the engine's functions stay inside the library.
#ifndef KIVO_CUBE_ENGINE_CUBE_FORWARD_H
#define KIVO_CUBE_ENGINE_CUBE_FORWARD_H

struct _cube_param;
struct _cube_grid;
struct _cube_node;
struct cube_hypothesis_record;

#endif
