// Binary dump of a grid with all its nodes, queues and hypotheses. The dump
// has no magic or version of its own: the container supplies a layout
// selector (0: 21-byte node records, otherwise 33-byte records).
#ifndef KIVO_CUBE_ENGINE_CUBE_SERIALISE_H
#define KIVO_CUBE_ENGINE_CUBE_SERIALISE_H

#include "cube_engine/cube_grid.h"
#include "cube_engine/cube_node.h"
#include "cube_engine/cube_param.h"
#include "cube_engine/cube_stream.h"

#define CUBE_GRID_HEADER_BYTES 28
#define CUBE_NODE_RECORD_BYTES 33
#define CUBE_NODE_RECORD_V0_BYTES 21
#define CUBE_QUEUE_ENTRY_BYTES 16
#define CUBE_HYPOTHESIS_BYTES 46
#define CUBE_OLD_NODE_RECORD_BYTES 28
#define CUBE_OLD_HYPOTHESIS_BYTES 77

int cube_node_serialise(_cube_node *node, const _cube_param *params, cube_stream *stream);
int cube_node_deserialise(cube_stream *stream, _cube_node *node, const _cube_param *params,
                          int layout);
int cube_grid_serialise(cube_stream *stream, _cube_grid *grid, const _cube_param *params);
// Falls back to the older layout when a node cannot be read.
_cube_grid *cube_grid_deserialise(cube_stream *stream, const _cube_param *params, int layout);
// Reads a dump of the older node layout (f64 hypotheses).
_cube_grid *cube_grid_translate(cube_stream *stream, const _cube_param *params);

#endif
