#pragma once
// Marks what a host process may reach in the shared library: the classes and
// free functions of its interface and the platform types they take and
// return. The library is built with hidden visibility, so anything without
// this mark (the CUBE engine, the BAG and PFM access code, internal helpers)
// stays inside it.
#if defined(__GNUC__)
#define KIVO_EXPORT __attribute__((visibility("default")))
#else
#define KIVO_EXPORT
#endif
