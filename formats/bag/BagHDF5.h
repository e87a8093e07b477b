#pragma once
// HDF5 for the BAG access library: current API only. Where the installed
// headers cannot hide the deprecated symbols, they are poisoned here.
#include <hdf5.h>

#ifndef H5_NO_DEPRECATED_SYMBOLS
#pragma GCC poison H5Acreate1 H5Aopen_name H5Aopen_idx H5Aget_num_attrs H5Aiterate1 H5Dcreate1 H5Dopen1
#pragma GCC poison H5Eclear1 H5Eget_auto1 H5Eprint1 H5Epush1 H5Eset_auto1 H5Ewalk1 H5Gcreate1 H5Gopen1
#pragma GCC poison H5Gget_info_by_idx1 H5Gget_objinfo H5Gget_num_objs H5Giterate H5Pget_filter1
#pragma GCC poison H5Rdereference1 H5Tcommit1 H5Topen1 H5check_version H5Fget_info1 H5Oget_info1
#endif
